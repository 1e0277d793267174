# mqtt_panel.tcl --
#
#     A Tk panel for examples/mqtt_station.tcl, in a process of its own:
#     it subscribes /station through the broker and shows the values in
#     labels bound to the nodes, and its scale writes /control/setpoint,
#     which the station follows.
#         wish examples/mqtt_panel.tcl ?-library path? ?-port n? ?-host h? ?--selftest?
#     "--selftest" moves the scale to 80 and exits 0 once the station has
#     taken the setpoint and its values keep arriving, 1 after 30 s.

package require Tk

set selftest [expr {[lsearch -exact $argv --selftest] >= 0}]
set argv [lsearch -all -inline -not -exact $argv --selftest]
source [file join [file dirname [info script]] mqtt_connect.tcl]
set c [mqttExampleConnect $argv]
tree set /control/setpoint 20
tree create /remote
$c subscribe /remote -topic kelbdemo/station
$c subscribe /remote/status -topic kelbdemo/status
$c publish /control -topic kelbdemo/control

wm title . "Kelb station panel"
grid [label .h -text "station" -font {TkDefaultFont 12 bold}] - -sticky w
foreach {text node} {level /remote/tank.level temperature /remote/tank.temp
                     target /remote/target ticks /remote/ticks status /remote/status/station} {
    if {![info exists $node]} {tree set $node ---}
    grid [label .l$text -text $text] [label .v$text -textvariable $node -width 10 -anchor e] -sticky w
}
grid [scale .setpoint -label setpoint -from 0 -to 100 -orient horizontal \
          -variable /control/setpoint] - -sticky ew

if {$selftest} {
    interp bgerror {} [list apply {{message options} {
        puts stderr "panel self-test failed: background error: $message"
        exit 1
    }}]
    after 30000 {puts stderr "panel self-test failed: [$c status]"; exit 1}
    proc check {} {
        global c
        set ticks [set /remote/ticks]
        if {[set /remote/target] eq "80" && [string is integer -strict $ticks] &&
                [.vtarget cget -text] eq "80"} {
            if {![info exists ::firstTicks]} {set ::firstTicks $ticks}
            if {$ticks > $::firstTicks + 3} {
                puts "panel self-test passed: target 80, ticks $::firstTicks -> $ticks"
                exit 0
            }
        }
        after 100 check
    }
    # The scale moves as a user would move it: the widget writes the node.
    after 500 {.setpoint set 80}
    after 600 check
}

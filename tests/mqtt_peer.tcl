# mqtt_peer.tcl --
#
#     A second station for the MQTT tests: a tclsh that loads the library
#     and the bridge, runs its event loop, and evaluates each script it
#     reads on standard input, answering one line: {code result}. It ends
#     when its input closes.

lappend auto_path [file dirname $env(KELB_LIBRARY)]
load $env(KELB_LIBRARY) Kelb
package require Kelb::mqtt
fconfigure stdout -buffering line

# Waits, serving events, until the condition holds or ms pass.
proc waitFor {condition {ms 10000}} {
    set deadline [expr {[clock milliseconds] + $ms}]
    while {![uplevel #0 [list expr $condition]]} {
        if {[clock milliseconds] > $deadline} {return 0}
        after 10 {set ::tick 1}
        vwait ::tick
    }
    return 1
}

proc serve {} {
    if {[gets stdin line] < 0} {exit}
    append ::pending $line\n
    if {![info complete $::pending]} return
    set script $::pending
    set ::pending ""
    set code [catch {uplevel #0 $script} result]
    puts [list $code $result]
}
set ::pending ""
fileevent stdin readable serve
vwait forever

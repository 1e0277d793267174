# mqtt_bridge.tcl --
#
#     The MQTT bridge end to end, beside mosquitto's own clients through
#     the same private broker (the floor):
#     - throughput: N node updates by "tree set" in this process, until
#       every node's final value has arrived in a second process; against
#       mosquitto_pub -l feeding the same number of messages to
#       mosquitto_sub -C N;
#     - latency at 1,000 updates per second: a timestamp written every
#       millisecond, read back in the other process; p50 and p99.
#
#     Usage: tclsh bench/mqtt_bridge.tcl library ?updates?
#     (bench/mqtt builds, starts the broker and runs this.)

lassign $argv library updates port
if {$updates eq ""} {set updates 100000}
set nodes 1000
set latencySamples 2000
lappend auto_path [file dirname $library]
load $library Kelb
package require Kelb::mqtt

# The receiving process: subscribes, then answers "ready", and "done T"
# when the last update has arrived, or "lat p50 p99" in microseconds.
set receiverScript {
    lassign $argv library port mode count nodes
    lappend auto_path [file dirname $library]
    load $library Kelb
    package require Kelb::mqtt
    fconfigure stdout -buffering line
    set c [kelb::mqtt::connect -port $port]
    if {$mode eq "throughput"} {
        # Nodes are written round robin, so the node of the last update
        # gets its final value last (changes of one node keep their order).
        set last [expr {$count - 1}]
        set node /bin/n[expr {$last % $nodes}]
        tree set $node -1
        trace add variable $node write [list apply {{node last args} {
            if {[set $node] == $last} {puts "done [clock microseconds]"}
        }} $node $last]
        $c subscribe /bin -topic bench/t
    } else {
        set ::lat {}
        tree set /bin/v 0
        trace add variable /bin/v write {apply {args {
            lappend ::lat [expr {[clock microseconds] - [set /bin/v]}]
            if {[llength $::lat] == $::count} {
                set s [lsort -integer $::lat]
                puts "lat [lindex $s [expr {$::count / 2}]] [lindex $s [expr {$::count * 99 / 100}]]"
            }
        }}}
        $c subscribe /bin -topic bench/l
    }
    # Ends when the benchmark closes its end of the pipe.
    fileevent stdin readable {if {[gets stdin line] < 0} exit}
    after 300 {puts ready}
    vwait forever
}
set receiverFile [file join [file dirname [info script]] mqtt_receiver[pid].tcl]
set f [open $receiverFile w]; puts $f $receiverScript; close $f

proc receiver {mode count} {
    global library port nodes receiverFile
    set chan [open |[list [info nameofexecutable] $receiverFile $library $port $mode $count $nodes] r+]
    fconfigure $chan -buffering line -blocking 0
    fileevent $chan readable [list apply {{chan} {
        if {[gets $chan line] >= 0} {lappend ::lines $line}
        if {[eof $chan]} {fileevent $chan readable {}}
    }} $chan]
    return $chan
}

proc awaitLine {pattern {ms 60000}} {
    set deadline [expr {[clock milliseconds] + $ms}]
    while {[clock milliseconds] < $deadline} {
        foreach line $::lines {
            if {[string match $pattern $line]} {
                set ::lines [lsearch -all -inline -not -exact $::lines $line]
                return $line
            }
        }
        after 1 {set ::tick 1}
        vwait ::tick
    }
    error "no \"$pattern\" from the receiver"
}

set ::lines {}
set c [kelb::mqtt::connect -port $port -window 2000]
$c publish /bout -topic bench/t -qos 0

# Kelb throughput.
set r [receiver throughput $updates]
awaitLine ready
set t0 [clock microseconds]
for {set i 0} {$i < $updates} {incr i} {
    tree set /bout/n[expr {$i % $nodes}] $i
    if {$i % 1000 == 999} update
}
set t1 [lindex [awaitLine done*] 1]
close $r
set kelbRate [expr {$updates * 1e6 / ($t1 - $t0)}]

# Floor throughput: the same number of messages through mosquitto's clients.
set sub [open |[list mosquitto_sub -p $port -t bench/f -C $updates] r]
after 300
set pub [open |[list mosquitto_pub -p $port -t bench/f -l -q 0] w]
set lines [string repeat "123456\n" $updates]
set t0 [clock microseconds]
puts -nonewline $pub $lines
close $pub
read $sub
close $sub
set floorRate [expr {$updates * 1e6 / ([clock microseconds] - $t0)}]

# Kelb latency at 1,000 updates per second.
$c publish /blat -topic bench/l -qos 0
set r [receiver latency $latencySamples]
awaitLine ready
for {set i 0} {$i < $latencySamples} {incr i} {
    tree set /blat/v [clock microseconds]
    after 1 {set ::tick 1}
    vwait ::tick
}
lassign [awaitLine lat*] - kelbP50 kelbP99
close $r

# Floor latency: timestamps through mosquitto_pub -l and mosquitto_sub.
set sub [open |[list mosquitto_sub -p $port -t bench/fl] r]
fconfigure $sub -buffering line -blocking 0
set ::flat {}
fileevent $sub readable [list apply {{sub} {
    while {[gets $sub line] >= 0} {lappend ::flat [expr {[clock microseconds] - $line}]}
}} $sub]
after 300 {set ::tick 1}; vwait ::tick
set pub [open |[list mosquitto_pub -p $port -t bench/fl -l -q 0] w]
fconfigure $pub -buffering line
for {set i 0} {$i < $latencySamples} {incr i} {
    puts $pub [clock microseconds]
    after 1 {set ::tick 1}
    vwait ::tick
}
set deadline [expr {[clock milliseconds] + 5000}]
while {[llength $::flat] < $latencySamples && [clock milliseconds] < $deadline} {
    after 5 {set ::tick 1}; vwait ::tick
}
close $pub
catch {exec kill [pid $sub]}
catch {close $sub}
set s [lsort -integer $::flat]
set n [llength $s]
set floorP50 [lindex $s [expr {$n / 2}]]
set floorP99 [lindex $s [expr {$n * 99 / 100}]]

$c close
file delete $receiverFile

puts [format "%-44s %14s %14s %7s" "mqtt bridge ($updates updates, $nodes nodes)" kelb floor ratio]
puts [format "%-44s %14.0f %14.0f %7.2f" "updates per second, end to end" $kelbRate $floorRate \
          [expr {$kelbRate / $floorRate}]]
puts [format "%-44s %14s %14s" "latency p50 at 1000/s (us)" $kelbP50 $floorP50]
puts [format "%-44s %14s %14s" "latency p99 at 1000/s (us)" $kelbP99 $floorP99]

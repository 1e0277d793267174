# threads.tcl --
#
#     The fuzz driver in four threads at once, each with a seed of its own
#     (SEED0 .. SEED0+3), as a threaded application mixes processes, nested
#     vwait and update, and the shared tree. Exits 0 when every thread has
#     ended within LIMIT seconds, 1 naming those that had not.
#
#     tclsh threads.tcl SEED0 STEPS LIMIT LOGDIR   (KELB_LIBRARY as for driver.tcl)

package require Thread
lassign $argv seed0 steps limit logDir
set driver [file join [file dirname [file normalize [info script]]] driver.tcl]

set workers {}
foreach id {0 1 2 3} {
    set seed [expr {$seed0 + $id}]
    set tid [thread::create -joinable]
    thread::send $tid [list array set ::env [array get ::env]]
    # The driver ends with exit, which here must end only its own run.
    thread::send $tid {proc exit args {}}
    thread::send -async $tid [list apply {{driver seed steps log} {
        set ::argv [list run $seed $steps $log]
        set t0 [clock milliseconds]
        uplevel #0 [list source $driver]
        expr {[clock milliseconds] - $t0}
    }} $driver $seed $steps [file join $logDir threads-seed-$seed.log]] ::done($seed)
    lappend workers $tid
}

after [expr {$limit * 1000}] {set ::done(timeout) 1}
while {[array size ::done] < 4 && ![info exists ::done(timeout)]} {vwait ::done}

set stuck {}
for {set seed $seed0} {$seed < $seed0 + 4} {incr seed} {
    if {[info exists ::done($seed)]} {
        puts "seed $seed: $::done($seed) ms"
    } else {
        lappend stuck $seed
    }
}
if {[llength $stuck]} {
    puts "seeds still running after $limit s: $stuck (logs in $logDir)"
    flush stdout
    # Threads that still run cannot be joined; leave without tearing down.
    exec kill -KILL [pid]
}
# Each thread ends before the process does.
foreach tid $workers {
    thread::release $tid
    thread::join $tid
}
exit 0

# resolver_overhead.tcl --
#
#     What loading Kelb costs ordinary Tcl code that names no "/"
#     variable. Runs each workload of resolver_workload.tcl in a fresh tclsh
#     under valgrind's callgrind, plainly and with Kelb loaded, at 0 and N
#     iterations, and prints the instructions per iteration of both and the
#     difference. Instruction counts stand still where wall time, on a
#     shared machine, does not.
#
# Usage: tclsh bench/resolver_overhead.tcl ?-library DIR? ?-n N?
#     DIR holds the built package (default: build); N iterations (2000).

set here [file dirname [file normalize [info script]]]
set options [dict merge {-library build -n 2000} $argv]
set env(TCLLIBPATH) [file normalize [dict get $options -library]]
set n [dict get $options -n]

if {[auto_execok valgrind] eq ""} {
    puts stderr "resolver_overhead: valgrind is needed (apt-get install valgrind)"
    exit 1
}

# Instructions of one run, as callgrind counts them.
proc Instructions {mode workload n} {
    global here
    set cmd [list valgrind --tool=callgrind --callgrind-out-file=/dev/null \
                 [info nameofexecutable] [file join $here resolver_workload.tcl] \
                 $mode $workload $n]
    catch {exec {*}$cmd 2>@1} output
    if {![regexp {Collected : (\d+)} $output -> count]} {
        error "no instruction count from: $cmd\n$output"
    }
    return $count
}

puts [format "%-10s %12s %12s %10s" workload plain kelb difference]
foreach workload {locals upvar global namespace dynamic} {
    set perIteration {}
    foreach mode {plain kelb} {
        set base [Instructions $mode $workload 0]
        set full [Instructions $mode $workload $n]
        dict set perIteration $mode [expr {double($full - $base) / $n}]
    }
    set plain [dict get $perIteration plain]
    set kelb [dict get $perIteration kelb]
    puts [format "%-10s %12.1f %12.1f %+9.1f%%" $workload $plain $kelb \
              [expr {100.0 * ($kelb - $plain) / $plain}]]
}

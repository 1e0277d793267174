# process_common.tcl --
#
#     Helpers that the scheduler benchmarks share: the CPU time of the
#     process and percentiles of sorted samples.

namespace eval pcommon {}

# The CPU time of this process so far, in nanoseconds, over all its
# threads (the notifier has one of its own).
proc pcommon::CpuNanos {} {
    set total 0
    foreach task [glob -nocomplain /proc/self/task/*] {
        if {![catch {open $task/schedstat} f]} {
            incr total [lindex [read $f] 0]
            close $f
        }
    }
    return $total
}

# The value below which the fraction of a sorted list lies.
proc pcommon::Percentile {sorted fraction} {
    if {![llength $sorted]} {return 0}
    set index [expr {min([llength $sorted] - 1, int(ceil($fraction * [llength $sorted])) - 1)}]
    return [lindex $sorted [expr {max(0, $index)}]]
}

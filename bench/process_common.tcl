# process_common.tcl --
#
#     Helpers that the scheduler benchmarks share: reading the options and
#     loading the library, the CPU time of the process and percentiles of
#     sorted samples.

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

# The delay in whole milliseconds, rounded up and never negative, from now
# until the clock microseconds reading next: how a drift-free "after" job
# re-arms itself.
proc pcommon::DelayUntil {next} {
    return [expr {max(0, ($next - [clock microseconds] + 999) / 1000)}]
}

# The value below which the fraction of a sorted list lies.
proc pcommon::Percentile {sorted fraction} {
    if {![llength $sorted]} {return 0}
    set index [expr {min([llength $sorted] - 1, int(ceil($fraction * [llength $sorted])) - 1)}]
    return [lindex $sorted [expr {max(0, $index)}]]
}

# Reads "-option value" pairs from argv into the dict variable optionsVar
# (whose keys are the known options), loads the library named by -library
# (default: build/libkelb12.so beside this folder) and kills the library's
# own processes, which would add to the figures.
proc pcommon::Setup {optionsVar argv} {
    upvar 1 $optionsVar options
    foreach {option value} $argv {
        if {![dict exists $options $option]} {error "unknown option \"$option\""}
        dict set options $option $value
    }
    if {[dict get $options -library] eq ""} {
        set here [file dirname [file normalize [info script]]]
        dict set options -library [file join $here .. build libkelb12.so]
    }
    load [file normalize [dict get $options -library]] Kelb
    foreach pid [process jobs] {process kill $pid}
}

# process_schedule.tcl --
#
#     Event-loop benchmark of the process scheduler, side by side with the
#     same periodic jobs written with Tcl's "after". The harness bench/run.tcl
#     times operations in a loop and does not fit here: these jobs run from
#     the event loop for seconds at a time.
#
#     Usage (after a Release build: cmake -S . -B build
#     -DCMAKE_BUILD_TYPE=Release && cmake --build build):
#         tclsh bench/process_schedule.tcl ?-library path? ?-seconds s?
#             ?-repeat n? ?-sizes {1 100 1000}? ?-periods {10 100}?
#             ?-variants {kelb rearm driftfree}?
#     The defaults take about 5 minutes (-repeat 7: 12 minutes).
#
#     -library  the library to load (default: build/libkelb12.so)
#     -seconds  how long each measurement services the loop with vwait
#     -repeat   measurements of each variant; medians are reported
#     -sizes    numbers of jobs run at the same time
#     -periods  periods in milliseconds
#     -variants which of kelb, rearm and driftfree to run
#
#     Variants, each job doing the same work per run (record its lateness):
#       kelb       a script process started with "process start"
#       rearm      an "after" job that re-arms itself with "after period"
#       driftfree  an "after" job that computes its next delay from the
#                  ideal schedule (start + k * period), rounded up to ms
#
#     Reported per variant: runs achieved / runs expected (the runs that
#     the ideal schedule puts at least 50 ms before the end of the
#     measurement, and how many of them came), the mean and 99th-percentile
#     lateness of all runs against that schedule, and the CPU time of the
#     whole process (all threads) per run made. The variants alternate within
#     one process, so that a slow spell of the machine falls on all alike,
#     and each measurement starts at a random point of the millisecond.

source [file join [file dirname [info script]] process_common.tcl]

namespace eval pbench {
    variable options [dict create -library "" -seconds 5 -repeat 3 \
                          -sizes {1 100 1000} -periods {10 100} \
                          -variants {kelb rearm driftfree}]
    variable t0       ;# job -> ideal time of its first run, microseconds
    variable runs     ;# job -> runs made
    variable late {}  ;# lateness of every run, microseconds
    variable period   ;# microseconds
}

# The work of every run, the same for all variants: note how late the run
# comes against the job's ideal schedule.
proc pbench::tick {job} {
    variable t0
    variable runs
    variable late
    variable period
    set now [clock microseconds]
    lappend late [expr {$now - $t0($job) - $runs($job) * $period}]
    incr runs($job)
}

proc pbench::rearm {job ms} {
    tick $job
    after $ms [list pbench::rearm $job $ms]
}

proc pbench::driftfree {job} {
    variable t0
    variable runs
    variable period
    tick $job
    after [pcommon::DelayUntil [expr {$t0($job) + $runs($job) * $period}]] \
        [list pbench::driftfree $job]
}

# Starts n jobs of the variant with the period in ms; returns what stop
# needs.
proc pbench::Start {variant n ms} {
    variable t0
    set pids {}
    for {set job 0} {$job < $n} {incr job} {
        switch -- $variant {
            kelb {
                set pid [process create [list pbench::tick $job] -period [expr {$ms * 1000}]]
                lappend pids $pid
                set t0($job) [clock microseconds]
                process start $pid
            }
            rearm {
                set t0($job) [clock microseconds]
                after 0 [list pbench::rearm $job $ms]
            }
            driftfree {
                set t0($job) [clock microseconds]
                after 0 [list pbench::driftfree $job]
            }
        }
    }
    return $pids
}

proc pbench::Stop {pids} {
    foreach pid $pids {process kill $pid}
    foreach id [after info] {after cancel $id}
}

# Waits a random part of a millisecond. Schedules count whole milliseconds
# (the scheduler's clock, and the delays of "after"), so how late a run
# comes depends on where in the millisecond its job started; measurements
# that follow one another at fixed intervals would otherwise all start at
# nearly the same point, or drift through the millisecond in step.
proc pbench::RandomPhase {} {
    set until [expr {[clock microseconds] + int(rand() * 1000)}]
    while {[clock microseconds] < $until} {}
}

# One measurement: a dict of runs, expected, mean and p99 lateness (ms),
# and CPU per run (us).
proc pbench::Measure {variant n ms seconds} {
    variable t0
    variable runs
    variable late
    variable period [expr {$ms * 1000}]
    array unset t0
    array unset runs
    for {set job 0} {$job < $n} {incr job} {set runs($job) 0}
    set late {}
    RandomPhase
    set cpu [pcommon::CpuNanos]
    set pids [Start $variant $n $ms]
    after [expr {$seconds * 1000}] {set ::pbench::done 1}
    vwait ::pbench::done
    set end [clock microseconds]
    Stop $pids
    set cpu [expr {[pcommon::CpuNanos] - $cpu}]
    # Runs due at least 50 ms before the end are expected to have come;
    # those of them that did are achieved (a job's runs come in order).
    set cutoff [expr {$end - 50000}]
    set expected 0
    set achieved 0
    for {set job 0} {$job < $n} {incr job} {
        set due [expr {($cutoff - $t0($job)) / $period + 1}]
        incr expected $due
        incr achieved [expr {min($due, $runs($job))}]
    }
    set sorted [lsort -integer $late]
    set sum 0
    foreach l $late {incr sum $l}
    set count [expr {max(1, [llength $late])}]
    return [dict create runs $achieved expected $expected \
                mean [expr {$sum / double($count) / 1000.0}] \
                p99 [expr {[pcommon::Percentile $sorted 0.99] / 1000.0}] \
                cpu [expr {$cpu / 1000.0 / max(1, [llength $late])}] \
                cpuTotal [expr {$cpu / 1e9}]]
}

proc pbench::Median {values} {
    set sorted [lsort -real $values]
    set n [llength $sorted]
    if {$n % 2} {return [lindex $sorted [expr {$n / 2}]]}
    return [expr {([lindex $sorted [expr {$n / 2 - 1}]] + [lindex $sorted [expr {$n / 2}]]) / 2.0}]
}

proc pbench::Report {n ms samples} {
    puts [format "\n%d job(s), period %d ms (medians of %d)" $n $ms \
              [llength [lindex $samples 1]]]
    puts [format "  %-10s %19s %9s %12s %11s %9s" variant "runs/expected" "mean ms" \
              "p99 ms" "CPU us/run" "CPU s"]
    dict for {variant runs} $samples {
        set m {}
        foreach key {runs expected mean p99 cpu cpuTotal} {
            dict set m $key [Median [lmap s $runs {dict get $s $key}]]
        }
        puts [format "  %-10s %9d/%-9d %9.3f %12.3f %11.2f %9.2f" $variant \
                  [expr {int([dict get $m runs])}] [expr {int([dict get $m expected])}] \
                  [dict get $m mean] [dict get $m p99] [dict get $m cpu] [dict get $m cpuTotal]]
    }
    flush stdout
}

proc pbench::Main {argv} {
    variable options
    pcommon::Setup options $argv
    puts "Tcl [info patchlevel], Kelb [package present Kelb]; [dict get $options -seconds] s\
          of vwait per measurement"
    foreach ms [dict get $options -periods] {
        foreach n [dict get $options -sizes] {
            set samples {}
            for {set r 0} {$r < [dict get $options -repeat]} {incr r} {
                foreach variant [dict get $options -variants] {
                    dict lappend samples $variant \
                        [Measure $variant $n $ms [dict get $options -seconds]]
                }
            }
            Report $n $ms $samples
        }
    }
}

pbench::Main $argv

# process_scale.tcl --
#
#     Benchmark of the process scheduler with many processes, side by side
#     with the same work done with Tcl's "after", in one process:
#
#       idle      a 1 ms "after" ticker alone, beside N started processes
#                 that are not due, and beside N pending "after" timers
#                 that are not due: CPU per tick of the ticker
#       stagger   N jobs of period P started in phases spread over one
#                 period (a few per millisecond), then measured for a while:
#                 runs achieved / expected, p99 lateness, CPU per run
#       kill      N started processes killed oldest first, and the oldest
#                 of N pending "after" timers cancelled: time per kill
#
#     Usage (after a Release build):
#         nice tclsh bench/process_scale.tcl ?-library path? ?-cases list?
#             ?-idle N? ?-stagger {N period-ms measure-s ...}? ?-kill {N ...}?
#     Defaults take about a minute and a half:
#         -cases {idle stagger kill} -idle 10000
#         -stagger {10000 1000 5 100000 10000 10} -kill {1000 30000 100000}
#     The stagger case of 100,000 jobs runs the process variant only: a
#     hundred thousand pending "after" timers cost seconds per insertion
#     pass, which says nothing new.

source [file join [file dirname [info script]] process_common.tcl]

namespace eval sbench {
    variable options [dict create -library "" -cases {idle stagger kill} -idle 10000 \
                          -stagger {10000 1000 5 100000 10000 10} -kill {1000 30000 100000}]
    variable t0       ;# job -> ideal time of its first run, microseconds
    variable runs     ;# job -> runs made
    variable late {}  ;# lateness of the runs counted, microseconds
    variable period   ;# microseconds
    variable counting 0
    variable ticks 0
}

proc sbench::Serve {ms} {
    after $ms {set ::sbench::served 1}
    vwait ::sbench::served
}

# --- idle -------------------------------------------------------------------

proc sbench::Ticker {} {
    variable ticks
    incr ticks
    after 1 sbench::Ticker
}

# CPU per tick of a 1 ms ticker over ms milliseconds.
proc sbench::TickerCost {ms} {
    variable ticks 0
    set cpu [pcommon::CpuNanos]
    after 1 sbench::Ticker
    Serve $ms
    after cancel sbench::Ticker
    return [expr {([pcommon::CpuNanos] - $cpu) / 1000.0 / max(1, $ticks)}]
}

# Starts n processes that are not due: their first run comes right after
# the start, then nothing for 2000 s. Returns their pids.
proc sbench::StartIdle {n} {
    set pids {}
    for {set i 0} {$i < $n} {incr i} {
        set pid [process create {} -period 2000000000]
        process start $pid
        lappend pids $pid
    }
    return $pids
}

proc sbench::Idle {n} {
    puts "\nidle: CPU per tick of a 1 ms after ticker, us"
    set alone [TickerCost 2000]
    set pids [StartIdle $n]
    Serve 100
    set withProcesses [TickerCost 2000]
    foreach pid $pids {process kill $pid}
    set ids {}
    for {set i 0} {$i < $n} {incr i} {lappend ids [after 2000000 {}]}
    set withTimers [TickerCost 2000]
    foreach id $ids {after cancel $id}
    puts [format "  %-34s %8.2f" "ticker alone" $alone]
    puts [format "  %-34s %8.2f  (%.2fx)" "beside $n idle processes" $withProcesses \
              [expr {$withProcesses / $alone}]]
    puts [format "  %-34s %8.2f  (%.2fx)" "beside $n pending after timers" $withTimers \
              [expr {$withTimers / $alone}]]
}

# --- stagger ----------------------------------------------------------------

# The work of every run: note how late it comes against the job's ideal
# schedule, while the measurement counts.
proc sbench::tick {job} {
    variable t0
    variable runs
    variable late
    variable period
    variable counting
    set now [clock microseconds]
    if {$counting} {lappend late [expr {$now - $t0($job) - $runs($job) * $period}]}
    incr runs($job)
}

proc sbench::driftfree {job} {
    variable t0
    variable runs
    variable period
    tick $job
    after [pcommon::DelayUntil [expr {$t0($job) + $runs($job) * $period}]] \
        [list sbench::driftfree $job]
}

proc sbench::StartJob {variant job} {
    variable t0
    variable pids
    variable period
    set t0($job) [clock microseconds]
    switch -- $variant {
        process {
            set pid [process create [list sbench::tick $job] -period $period]
            lappend pids $pid
            process start $pid
        }
        after {after 0 [list sbench::driftfree $job]}
    }
}

# Starts the jobs from the event loop, spread evenly over one period.
proc sbench::Starter {variant n begin} {
    variable started
    variable period
    set due [expr {min($n, ([clock microseconds] - $begin) * $n / $period + 1)}]
    while {$started < $due} {
        StartJob $variant $started
        incr started
    }
    if {$started < $n} {after 1 [list sbench::Starter $variant $n $begin]}
}

proc sbench::Stagger {variant n ms seconds} {
    variable t0
    variable runs
    variable late {}
    variable period [expr {$ms * 1000}]
    variable counting 0
    variable pids {}
    variable started 0
    array unset t0
    array unset runs
    for {set job 0} {$job < $n} {incr job} {set runs($job) 0}
    Starter $variant $n [clock microseconds]
    Serve [expr {$ms + 200}]
    # Measure: every job's runs in the window.
    set counting 1
    set before [array get runs]
    set begin [clock microseconds]
    set cpu [pcommon::CpuNanos]
    Serve [expr {$seconds * 1000}]
    set cpu [expr {[pcommon::CpuNanos] - $cpu}]
    set end [clock microseconds]
    set counting 0
    foreach pid $pids {process kill $pid}
    foreach id [after info] {after cancel $id}
    # Runs whose ideal time lies in the window, at least 50 ms before its
    # end, are expected; the runs made in the window count against them.
    set expected 0
    set made 0
    foreach {job count} $before {
        set first [expr {max($count, ($begin - $t0($job) + $period - 1) / $period)}]
        set last [expr {($end - 50000 - $t0($job)) / $period}]
        incr expected [expr {max(0, $last - $first + 1)}]
        incr made [expr {min($runs($job) - $count, max(0, $last - $first + 1))}]
    }
    set sorted [lsort -integer $late]
    puts [format "  %-8s %8d/%-8d %10.3f %10.3f %10.2f" $variant $made $expected \
              [expr {[pcommon::Percentile $sorted 0.5] / 1000.0}] [expr {[pcommon::Percentile $sorted 0.99] / 1000.0}] \
              [expr {$cpu / 1000.0 / max(1, [llength $late])}]]
    flush stdout
}

proc sbench::StaggerCases {cases} {
    foreach {n ms seconds} $cases {
        puts "\nstagger: $n jobs of $ms ms in spread phases, $seconds s measured"
        puts [format "  %-8s %17s %10s %10s %10s" variant "runs/expected" "p50 ms" "p99 ms" "CPU us/run"]
        set variants {process after}
        if {$n > 20000} {set variants process}
        foreach variant $variants {Stagger $variant $n $ms $seconds}
    }
}

# --- kill -------------------------------------------------------------------

# Times the kills of all n processes, and the cancels of the oldest 100 of
# n pending "after" timers (each cancel walks Tcl's list of them, newest
# first, so cancelling them all would take hours at 100,000). The timers
# are left pending: this case runs last.
proc sbench::Kill {cases} {
    puts "\nkill: oldest first, us per kill"
    puts [format "  %8s %12s %14s" count "process kill" "after cancel"]
    foreach n $cases {
        set pids [StartIdle $n]
        Serve 50
        set start [clock microseconds]
        foreach pid $pids {process kill $pid}
        set kill [expr {([clock microseconds] - $start) / double($n)}]
        # Each new timer walks the list too: past 30,000 that takes minutes.
        set cancel n/a
        if {$n <= 30000} {
            set ids {}
            for {set i 0} {$i < $n} {incr i} {lappend ids [after 2000000 {}]}
            set start [clock microseconds]
            foreach id [lrange $ids 0 99] {after cancel $id}
            set cancel [format %.3f [expr {([clock microseconds] - $start) / double(min($n, 100))}]]
        }
        puts [format "  %8d %12.3f %14s" $n $kill $cancel]
    }
}

proc sbench::Main {argv} {
    variable options
    pcommon::Setup options $argv
    puts "Tcl [info patchlevel], [dict get $options -library]"
    foreach case [dict get $options -cases] {
        switch -- $case {
            idle {Idle [dict get $options -idle]}
            stagger {StaggerCases [dict get $options -stagger]}
            kill {Kill [dict get $options -kill]}
        }
    }
}

sbench::Main $argv

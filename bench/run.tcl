# run.tcl --
#
#     Benchmark harness. Runs the cases of the *.bench files in this folder
#     (or those named on the command line) for Kelb and for its peers, side
#     by side in one process, and prints the median time per operation of
#     each with the ratio peer / Kelb (above 1: Kelb is faster).
#
#     Usage: tclsh bench/run.tcl ?-library path? ?-repeat n? ?-match glob?
#                                ?-scale factor? ?file.bench ...?
#
#     -library  the library to load (default: build/libkelb12.so)
#     -repeat   repetitions of every measurement; the median is reported
#     -match    run only the cases whose "group/name" matches the pattern
#     -scale    multiply every case's iteration count (e.g. 0.1 for a quick
#               look)
#
#     A .bench file declares peers and cases:
#
#     bench::peer name script
#         Makes the implementation "name" available if script (run once,
#         at global level) succeeds; otherwise its columns read "n/a".
#
#     bench::case group name ?-iterations n? ?-ops m? ?-setup script?
#                 ?-cleanup script? implementations
#         implementations is a list of pairs: an implementation name and
#         either a body, or a list "-setup s -body b -cleanup c". Each body
#         runs inside a procedure of its own, n times in a loop, after the
#         case's and the implementation's setup scripts and before their
#         cleanup scripts (all in the same procedure, untimed). The time is
#         divided by n * m: -ops says how many operations one body performs.

namespace eval bench {
    variable options [dict create -library "" -repeat 5 -match * -scale 1.0]
    variable peers [dict create kelb 1]   ;# implementation -> available
    variable cases {}
    variable procCount 0
}

proc bench::peer {name script} {
    variable peers
    dict set peers $name [expr {![catch {uplevel #0 $script}]}]
}

proc bench::case {group name args} {
    variable cases
    set implementations [lindex $args end]
    set opts [dict merge {-iterations 1 -ops 1 -setup {} -cleanup {}} [lrange $args 0 end-1]]
    lappend cases [list $group $name $opts $implementations]
}

# Builds a procedure that runs body iterations times between setup and
# cleanup and returns the elapsed microseconds of the loop alone.
proc bench::MakeTimer {setup body cleanup iterations} {
    variable procCount
    set procName ::bench::timer[incr procCount]
    proc $procName {} [string map [list @SETUP@ $setup @BODY@ $body @CLEANUP@ $cleanup \
                                         @N@ $iterations] {
        @SETUP@
        set __start [clock microseconds]
        for {set __i 0} {$__i < @N@} {incr __i} {
            @BODY@
        }
        set __elapsed [expr {[clock microseconds] - $__start}]
        @CLEANUP@
        return $__elapsed
    }]
    return $procName
}

proc bench::Median {values} {
    set sorted [lsort -real $values]
    set n [llength $sorted]
    if {$n % 2} {return [lindex $sorted [expr {$n / 2}]]}
    return [expr {([lindex $sorted [expr {$n / 2 - 1}]] + [lindex $sorted [expr {$n / 2}]]) / 2.0}]
}

# Builds the timing procedure of one implementation of a case.
proc bench::TimerFor {opts definition} {
    variable options
    if {[string match -* [string trimleft $definition]]} {
        set definition [dict merge {-setup {} -cleanup {}} $definition]
    } else {
        set definition [dict create -setup {} -body $definition -cleanup {}]
    }
    set iterations [expr {max(1, int([dict get $opts -iterations] * [dict get $options -scale]))}]
    set timer [MakeTimer "[dict get $opts -setup]\n[dict get $definition -setup]" \
                   [dict get $definition -body] \
                   "[dict get $definition -cleanup]\n[dict get $opts -cleanup]" $iterations]
    return [list $timer [expr {$iterations * [dict get $opts -ops]}]]
}

# Median microseconds per operation of each available implementation of a
# case, as a dict. Repetitions alternate between the implementations, so
# that a slow spell of the machine falls on all of them alike.
proc bench::MeasureCase {opts implementations} {
    variable options
    variable peers
    set timers {}
    foreach {impl definition} $implementations {
        if {[dict exists $peers $impl] && [dict get $peers $impl]} {
            dict set timers $impl [TimerFor $opts $definition]
        }
    }
    set samples {}
    set errors {}
    for {set r 0} {$r < [dict get $options -repeat]} {incr r} {
        dict for {impl timer} $timers {
            if {[dict exists $errors $impl]} continue
            lassign $timer procName ops
            if {[catch {$procName} elapsed]} {
                dict set errors $impl $elapsed
                continue
            }
            dict lappend samples $impl [expr {double($elapsed) / $ops}]
        }
    }
    set result {}
    dict for {impl timer} $timers {
        rename [lindex $timer 0] {}
        if {[dict exists $errors $impl]} {
            dict set result $impl [list error [dict get $errors $impl]]
        } else {
            dict set result $impl [Median [dict get $samples $impl]]
        }
    }
    return $result
}

proc bench::FormatTime {us} {
    if {$us >= 1000.0} {return [format "%.2f ms" [expr {$us / 1000.0}]]}
    if {$us >= 1.0} {return [format "%.3f us" $us]}
    return [format "%.1f ns" [expr {$us * 1000.0}]]
}

proc bench::Report {} {
    variable cases
    variable peers
    variable options
    set group ""
    foreach case $cases {
        lassign $case caseGroup name opts implementations
        if {![string match [dict get $options -match] $caseGroup/$name]} continue
        if {$caseGroup ne $group} {
            set group $caseGroup
            puts "\n$group (median per operation; ratio = peer / kelb)"
        }
        set line [format "  %-30s" $name]
        set times [MeasureCase $opts $implementations]
        set kelbTime [expr {[dict exists $times kelb] ? [dict get $times kelb] : ""}]
        foreach {impl definition} $implementations {
            if {![dict exists $times $impl]} {
                append line [format " | %-8s %10s" $impl n/a]
            } elseif {[lindex [dict get $times $impl] 0] eq "error"} {
                append line [format " | %-8s error: %s" $impl [lindex [dict get $times $impl] 1]]
            } elseif {$impl eq "kelb"} {
                append line [format " | %-6s %10s" $impl [FormatTime [dict get $times $impl]]]
            } elseif {[string is double -strict $kelbTime] && $kelbTime > 0} {
                set t [dict get $times $impl]
                append line [format " | %-8s %10s %7.2fx" $impl [FormatTime $t] [expr {$t / $kelbTime}]]
            } else {
                append line [format " | %-8s %10s" $impl [FormatTime [dict get $times $impl]]]
            }
        }
        puts $line
        flush stdout
    }
}

proc bench::Main {argv} {
    variable options
    set here [file dirname [file normalize [info script]]]
    set files {}
    while {[llength $argv]} {
        set argv [lassign $argv word]
        if {[dict exists $options $word]} {
            set argv [lassign $argv value]
            dict set options $word $value
        } else {
            lappend files [file normalize $word]
        }
    }
    if {[dict get $options -library] eq ""} {
        dict set options -library [file join $here .. build libkelb12.so]
    }
    load [file normalize [dict get $options -library]] Kelb
    if {![llength $files]} {set files [lsort [glob -directory $here *.bench]]}
    puts "Tcl [info patchlevel], Kelb [package present Kelb]; [dict get $options -repeat] repetitions"
    foreach file $files {
        uplevel #0 [list source $file]
    }
    Report
}

bench::Main $argv

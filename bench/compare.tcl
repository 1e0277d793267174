# compare.tcl --
#
#     Like-for-like benchmark: the tree store and the list commands against
#     what a user would otherwise write (global and local arrays, dicts,
#     tcllib's C builds), with the same key text, in one report of median
#     times beside callgrind instruction counts.
#
#     Usage: tclsh bench/compare.tcl ?-library path? ?-repeat n? ?-match glob?
#                 ?-scale f? ?-huge 0|1? ?-counts 0|1? ?-memory 0|1?
#
#     How each row is measured:
#     - Every implementation is a coroutine: its setup runs, it waits, its
#       loop runs timed, it waits, its cleanup runs. All setups of a row
#       run before any loop, so which store was allocated first is part of
#       the order. Repetitions alternate the order (Kelb first, Kelb last);
#       the median of each order is reported, and the ratio peer / Kelb in
#       each (above 1: Kelb is faster).
#     - Times include the loop around the body. The "loop" rows show what
#       the loop and the cheapest C command cost; nothing is subtracted.
#     - Instructions: the same rows run once more, under callgrind, at a
#       smaller scale (-countscale); "info hostname" around each loop
#       dumps a profile, so each count is that of the loop alone.
#     - Memory rows run each implementation in a fresh process and give
#       the growth of resident memory per item.

namespace eval compare {
    variable options [dict create -library "" -repeat 5 -match * -scale 1.0 -huge 0 \
                          -counts 1 -memory 1 -countscale 0.1 -mode report]
    variable peers [dict create kelb 1]
    variable rows {}
    variable markers 0   ;# "info hostname" calls made so far (count mode)
    variable here [file dirname [file normalize [info script]]]
}

proc compare::peer {name script} {
    variable peers
    dict set peers $name [expr {![catch {uplevel #0 $script}]}]
}

# row group name ?-n count? ?-ops 1|n? ?-huge 1? implementations
#     implementations: pairs of a name and a dict of -setup, -body,
#     -cleanup, which see the (scaled) count as $n. The body runs n times
#     inside "for {set i 0} {$i < $n} {incr i}" in a coroutine, and the
#     figures are per run; with "-ops n" it runs once and stands for n
#     operations (a removal of n nodes at once). -huge rows run only with
#     "-huge 1".
proc compare::row {group name args} {
    variable rows
    set impls [lindex $args end]
    set opts [dict merge {-n 10000 -ops 1 -huge 0} [lrange $args 0 end-1]]
    if {[dict get $opts -ops] ni {1 n}} {error "-ops is 1 or n"}
    lappend rows [list $group $name $opts $impls]
}

proc compare::Count {opts} {
    variable options
    set scale [dict get $options -scale]
    if {[dict get $options -mode] eq "count"} {set scale [expr {$scale * [dict get $options -countscale]}]}
    return [expr {max(1, int([dict get $opts -n] * $scale))}]
}

# The loop count and the operations it stands for.
proc compare::Loops {opts n} {
    if {[dict get $opts -ops] eq "n"} {return [list 1 $n]}
    return [list $n $n]
}

# The coroutine body of one implementation.
proc compare::Runner {setup body cleanup n loops marker} {
    set script [string map [list @SETUP@ $setup @BODY@ $body @CLEANUP@ $cleanup @N@ $n \
                                 @LOOPS@ $loops @M@ $marker] {
        set n @N@
        @SETUP@
        yield
        @M@
        set __t [clock microseconds]
        for {set i 0} {$i < @LOOPS@} {incr i} {
            @BODY@
        }
        set __t [expr {[clock microseconds] - $__t}]
        @M@
        yield $__t
        @CLEANUP@
        return
    }]
    return [list {} $script]
}

# Runs one repetition of a row in the given order; returns a dict
# implementation -> microseconds, and in count mode the marker index of
# each loop's dump.
proc compare::RunOnce {order impls n loops} {
    variable options
    variable markers
    set marker [expr {[dict get $options -mode] eq "count" ? "info hostname" : ""}]
    set result {}
    foreach impl $order {
        set def [dict merge {-setup {} -cleanup {}} [dict get $impls $impl]]
        coroutine ::compare::co_$impl apply [Runner [dict get $def -setup] [dict get $def -body] \
                                                 [dict get $def -cleanup] $n $loops $marker]
    }
    foreach impl $order {
        dict set result $impl [::compare::co_$impl]
        if {$marker ne ""} {
            incr markers 2
            dict set result $impl $markers
        }
    }
    foreach impl $order {::compare::co_$impl}
    return $result
}

proc compare::Available {impls} {
    variable peers
    set names {}
    foreach {impl def} $impls {
        if {[dict exists $peers $impl] && [dict get $peers $impl]} {lappend names $impl}
    }
    return $names
}

proc compare::Selected {} {
    variable rows
    variable options
    set selected {}
    foreach row $rows {
        lassign $row group name opts impls
        if {![string match [dict get $options -match] "$group/$name"]} continue
        if {[dict get $opts -huge] && ![dict get $options -huge]} continue
        lappend selected $row
    }
    return $selected
}

proc compare::Median {values} {
    set sorted [lsort -real $values]
    set n [llength $sorted]
    if {$n == 0} {return ""}
    if {$n % 2} {return [lindex $sorted [expr {$n / 2}]]}
    return [expr {([lindex $sorted [expr {$n / 2 - 1}]] + [lindex $sorted [expr {$n / 2}]]) / 2.0}]
}

# Count mode (run under callgrind by the report): each row once, Kelb
# first; prints "group/name impl dump-index operations" lines.
proc compare::CountAll {} {
    info hostname   ;# the first call resolves the host name: keep it out
    variable markers 1
    foreach row [Selected] {
        lassign $row group name opts impls
        set n [Count $opts]
        lassign [Loops $opts $n] loops ops
        set order [Available $impls]
        dict for {impl index} [RunOnce $order $impls $n $loops] {
            puts [list $group/$name $impl $index $ops]
        }
    }
}

# Instructions per operation, by "group/name" and implementation, from one
# callgrind run of this script in count mode.
proc compare::Instructions {} {
    variable options
    variable here
    set dir [file join [pwd] compare-cg[pid]]
    file mkdir $dir
    set args [list -library [dict get $options -library] -mode count -match [dict get $options -match] \
                  -scale [dict get $options -scale] -countscale [dict get $options -countscale] \
                  -huge [dict get $options -huge]]
    try {
        set lines [exec valgrind --tool=callgrind --dump-before=Tcl_GetHostName \
                       --callgrind-out-file=$dir/cg [info nameofexecutable] \
                       [file join $here compare.tcl] {*}$args 2>@1]
        set counts {}
        foreach line [split $lines \n] {
            if {[llength $line] != 4 || [string match ==* $line]} continue
            lassign $line key impl index ops
            set f [open $dir/cg.$index]
            regexp -line {^summary: (\d+)} [read $f] -> instructions
            close $f
            dict set counts $key $impl [expr {double($instructions) / $ops}]
        }
        return $counts
    } on error message {
        puts "(no instruction counts: [lindex [split $message \n] 0])"
        return {}
    } finally {
        file delete -force $dir
    }
}

proc compare::FormatTime {us} {
    if {$us eq ""} {return n/a}
    if {$us >= 1000.0} {return [format "%.2f ms" [expr {$us / 1000.0}]]}
    if {$us >= 1.0} {return [format "%.3f us" $us]}
    return [format "%.1f ns" [expr {$us * 1000.0}]]
}

proc compare::Ratio {peer kelb} {
    if {$peer eq "" || $kelb eq "" || $kelb <= 0} {return "   -  "}
    return [format "%5.2fx" [expr {double($peer) / $kelb}]]
}

# Times every selected row and prints the table, with instruction counts
# from the callgrind run when there are any.
proc compare::Report {counts} {
    variable options
    set group ""
    foreach row [Selected] {
        lassign $row rowGroup name opts impls
        if {$rowGroup ne $group} {
            set group $rowGroup
            puts "\n$group"
            puts [format "  %-34s %-8s %11s %11s %9s   %-15s %s" row impl "kelb first" "kelb last" \
                      instr/op "time ratio" "instr ratio"]
        }
        set n [Count $opts]
        lassign [Loops $opts $n] loops ops
        set names [Available $impls]
        set samples {}
        for {set r 0} {$r < [dict get $options -repeat]} {incr r} {
            set order [expr {$r % 2 ? [lreverse $names] : $names}]
            set which [expr {$r % 2 ? "last" : "first"}]
            if {[catch {RunOnce $order $impls $n $loops} times]} {
                puts "  $name: error: $times"
                foreach impl $names {catch {rename ::compare::co_$impl {}}}
                break
            }
            dict for {impl us} $times {dict lappend samples $impl,$which [expr {double($us) / $ops}]}
        }
        set median {}
        foreach impl $names {
            foreach which {first last} {
                dict set median $impl,$which \
                    [expr {[dict exists $samples $impl,$which] ? [Median [dict get $samples $impl,$which]] : ""}]
            }
        }
        set label $name
        foreach impl $names {
            set instr [expr {[dict exists $counts $rowGroup/$name $impl] ? [dict get $counts $rowGroup/$name $impl] : ""}]
            set kinstr [expr {[dict exists $counts $rowGroup/$name kelb] ? [dict get $counts $rowGroup/$name kelb] : ""}]
            set ratios ""
            set iratio ""
            if {$impl ne "kelb"} {
                set ratios "[Ratio [dict get $median $impl,first] [dict get $median kelb,first]]/[Ratio [dict get $median $impl,last] [dict get $median kelb,last]]"
                set iratio [Ratio $instr $kinstr]
            }
            puts [format "  %-34s %-8s %11s %11s %9s   %-15s %s" $label $impl \
                      [FormatTime [dict get $median $impl,first]] [FormatTime [dict get $median $impl,last]] \
                      [expr {$instr eq "" ? "n/a" : [format %.0f $instr]}] $ratios $iratio]
            set label ""
        }
        flush stdout
    }
}

# Resident bytes per item of one script, run at global level in a fresh
# process after the library (and tcllib's struct packages) are loaded.
proc compare::MemoryOf {script count} {
    variable options
    set program [string map [list @LIB@ [list [dict get $options -library]] @COUNT@ $count] {
        proc rss {} {
            set f [open /proc/self/status]
            regexp {VmRSS:\s+(\d+) kB} [read $f] -> kb
            close $f
            return [expr {$kb * 1024}]
        }
        load @LIB@ Kelb
        foreach pid [process jobs] {process kill $pid}
        catch {package require struct::stack}
        set base [rss]
    }]
    append program [list eval $script] \n \
        [string map [list @COUNT@ $count] {puts [format %.1f [expr {double([rss] - $base) / @COUNT@}]]}]
    set file [file join [pwd] compare-mem[pid].tcl]
    set f [open $file w]
    puts $f $program
    close $f
    try {
        return [string trim [exec [info nameofexecutable] $file]]
    } on error message {
        return "error: [lindex [split $message \n] 0]"
    } finally {
        file delete $file
    }
}

proc compare::MemoryReport {} {
    if {![file readable /proc/self/status]} return
    puts "\nmemory (resident bytes per item, each in a fresh process)"
    foreach {label count impls} $::compare::memory::cases {
        set line [format "  %-34s" $label]
        set figures {}
        foreach {impl script} $impls {
            set bytes [MemoryOf $script $count]
            dict set figures $impl $bytes
            append line [format " | %-7s %8s B" $impl $bytes]
        }
        set first [lindex [dict keys $figures] 0]
        foreach impl [lrange [dict keys $figures] 1 end] {
            if {[string is double -strict [dict get $figures $impl]] && [string is double -strict [dict get $figures $first]]} {
                append line " | $impl/$first [Ratio [dict get $figures $impl] [dict get $figures $first]]"
            }
        }
        puts $line
        flush stdout
    }
}

proc compare::Main {argv} {
    variable options
    variable here
    foreach {option value} $argv {
        if {![dict exists $options $option]} {error "unknown option \"$option\""}
        dict set options $option $value
    }
    if {[dict get $options -library] eq ""} {
        dict set options -library [file join $here .. build libkelb12.so]
    }
    dict set options -library [file normalize [dict get $options -library]]
    uplevel #0 [list load [dict get $options -library] Kelb]
    foreach pid [process jobs] {process kill $pid}
    uplevel #0 [list source [file join $here compare_rows.tcl]]
    if {[dict get $options -mode] eq "count"} {
        CountAll
        return
    }
    puts "Tcl [info patchlevel], Kelb [package present Kelb]; [dict get $options -repeat] repetitions,\
          scale [dict get $options -scale]; load: [string trim [exec uptime]]"
    puts "Times: median per operation, loop included, with Kelb's loops run first and last;\
          ratios peer / kelb in each order."
    set counts {}
    if {[dict get $options -counts]} {
        puts "Instructions: callgrind, one run at [dict get $options -countscale] of the scale."
        set counts [Instructions]
    }
    Report $counts
    if {[dict get $options -memory]} {MemoryReport}
    puts "\nload at the end: [string trim [exec uptime]]"
}

compare::Main $argv

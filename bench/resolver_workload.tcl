# resolver_workload.tcl --
#
#     Ordinary procedure-heavy Tcl that names no "/" variable, run by
#     resolver_overhead.tcl with and without Kelb loaded. Each workload
#     runs n times; nothing is printed.
#
# Usage: tclsh resolver_workload.tcl plain|kelb WORKLOAD N

lassign $argv mode workload n
if {$mode eq "kelb"} {package require Kelb}

# Thirteen locals, compiled to slots.
proc locals13 {a b c} {
    set d 1; set e 2; set f 3; set g 4; set h 5; set i 6; set j 7
    set k 8; set l 9; set m 10
    expr {$a + $b + $c + $d + $e + $f + $g + $h + $i + $j + $k + $l + $m}
}
proc run_locals {n} {
    for {set x 0} {$x < $n} {incr x} {locals13 1 2 3}
}

proc bump {varName} {upvar 1 $varName v; incr v}
proc run_upvar {n} {
    set count 0
    for {set x 0} {$x < $n} {incr x} {bump count}
}

set ::counter 0
proc tick {} {global counter; incr counter}
proc run_global {n} {
    for {set x 0} {$x < $n} {incr x} {tick}
}

namespace eval ::app {variable hits 0}
proc ::app::hit {} {variable hits; incr hits}
proc run_namespace {n} {
    for {set x 0} {$x < $n} {incr x} {::app::hit}
}

# Names made at run time: resolved by name on every access.
proc run_dynamic {n} {
    for {set x 0} {$x < $n} {incr x} {
        set name v[expr {$x % 16}]
        set $name $x
        incr $name
        set ::g[expr {$x % 4}] [set $name]
    }
}

run_$workload $n

# support.tcl --
#
#     Sourced by every test file: loads tcltest and the library under test,
#     and defines the helpers the test files share.

package require tcltest 2.5
namespace import -force ::tcltest::*

namespace eval ::kelbtest {
    variable library
    if {[info exists ::env(KELB_LIBRARY)]} {
        set library $::env(KELB_LIBRARY)
    } else {
        set library [file normalize [file join [file dirname [info script]] .. build [expr {
            [package vsatisfies [info tclversion] 9-] ? "libtcl9kelb12.so" : "libkelb12.so"}]]]
        set ::env(KELB_LIBRARY) $library
    }
}
load $::kelbtest::library Kelb

# Floating-point results compared element by element within 1e-9, so that
# rotations and other rounded results can be written as exact numbers.
proc ::kelbtest::closeEnough {expected actual} {
    if {[llength $expected] != [llength $actual]} {return 0}
    foreach e $expected a $actual {
        if {[llength $e] > 1 || [llength $a] > 1} {
            if {![closeEnough $e $a]} {return 0}
        } elseif {![string is double -strict $a] || abs($e - $a) > 1e-9} {
            return 0
        }
    }
    return 1
}
customMatch tolerant ::kelbtest::closeEnough

# Runs script in a fresh tclsh of the same kind as this one, with the
# library's path in KELB_LIBRARY, and returns what it printed. The script's
# file is named after this process too: test files run side by side in
# one folder.
proc ::kelbtest::inChildProcess {script} {
    set f [makeFile $script child[pid]-[incr ::kelbtest::childCount].tcl]
    set out [exec [info nameofexecutable] $f 2>@1]
    removeFile $f
    return $out
}

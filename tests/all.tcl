# all.tcl --
#
#     Runs the Tcl test suite: every *.test file in this folder, each in a
#     process of its own. The library under test is named by the
#     environment variable KELB_LIBRARY (default: ../build/libkelb12.so, or
#     ../build/libtcl9kelb12.so when this is Tcl 9).
#     Exits with status 1 when any test fails or any file fails to run.
#
#     Usage: tclsh all.tcl ?tcltest options, such as -file matrix.test?

package require tcltest 2.5
namespace import tcltest::*

configure -testdir [file dirname [file normalize [info script]]] {*}$argv
if {![info exists ::env(KELB_LIBRARY)]} {
    set ::env(KELB_LIBRARY) [file normalize \
        [file join [testsDirectory] .. build [expr {
            [package vsatisfies [info tclversion] 9-] ? "libtcl9kelb12.so" : "libkelb12.so"}]]]
}
exit [runAllTests]

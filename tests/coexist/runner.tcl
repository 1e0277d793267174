# runner.tcl --
#
#     Runs one tcllib test file as tcllib's own harness does: with tcltest
#     loaded and imported first, the file sourced at global level. The
#     shell that runs this (shell.cpp) has loaded Kelb first or not.
#
# Usage: SHELL runner.tcl FILE ?tcltest options ...?

set argv [lassign $argv file]
set argc [llength $argv]
package require tcltest
namespace import -force ::tcltest::*
set file [file normalize $file]
set argv0 $file
source $file

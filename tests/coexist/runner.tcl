# runner.tcl --
#
#     Runs one test file of another package's suite, either plainly or with
#     Kelb loaded first, in the same way both times: the file is sourced at
#     global level from this runner, so frame levels and line numbers in the
#     file are the same in both runs and only the package makes a difference.
#
# Usage: tclsh runner.tcl plain|kelb FILE ?tcltest options ...?

lassign $argv mode file
set argv [lrange $argv 2 end]
set argc [llength $argv]
# tcllib's test utilities expect tcltest present, as its own harness has it.
package require tcltest
namespace import -force ::tcltest::*
if {$mode eq "kelb"} {
    package require Kelb
} elseif {$mode ne "plain"} {
    puts stderr "usage: runner.tcl plain|kelb FILE ?option ...?"
    exit 2
}
set file [file normalize $file]
set argv0 $file
cd [file dirname $file]
source $file

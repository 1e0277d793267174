# compare.tcl --
#
#     Runs test files of another package's suite twice, each file as the
#     main script of a fresh shell, as Tcl's own all.tcl runs them: once in
#     a plain shell and once in one that loaded Kelb first (shell.cpp).
#     Every test that passes plainly is compared: it fails the check when
#     it does not pass with Kelb, unless known-clashes.txt lists it.
#
# Usage: tclsh compare.tcl -plain SHELL -kelb SHELL ?-timeout SECONDS?
#            ?-args TCLTEST-ARGS? ?-runner SCRIPT? SUITE-DIR FILE ?FILE ...?
#     FILE is relative to SUITE-DIR; TCLTEST-ARGS go to every file (Tk's
#     files take -loadfile); a suite whose harness sources its files
#     (tcllib's) names a SCRIPT that the shell runs with the file's path
#     instead. Prints one line per file and a closing count.

set here [file dirname [file normalize [info script]]]
array set option {-timeout 300 -args {} -runner {}}
while {[string match -* [lindex $argv 0]]} {
    set argv [lassign $argv name value]
    set option($name) $value
}
set files [lassign $argv suiteDir]

# Known clashes: lines "FILE PATTERN REASON...", blank lines and # comments
# skipped. A test of FILE whose name matches PATTERN may pass plainly and
# fail with Kelb.
proc ReadClashes {path} {
    set clashes {}
    set f [open $path]
    foreach line [split [read $f] \n] {
        set line [string trim $line]
        if {$line eq "" || [string index $line 0] eq "#"} continue
        dict lappend clashes [lindex $line 0] [lindex $line 1]
    }
    close $f
    return $clashes
}

# One run of a file in the shell of mode: the names of the tests that
# passed and failed, and the run's output. The file runs from its own
# folder, where its suite expects to find what it sources.
proc RunFile {mode path} {
    global option
    set cmd [list timeout -k 10 $option(-timeout) $option(-$mode) {*}$option(-runner) \
                 $path -verbose pbe {*}$option(-args)]
    set here [pwd]
    cd [file dirname $path]
    catch {exec {*}$cmd 2>@1} output
    cd $here
    set passed [lmap {- name} [regexp -all -inline -line {^\+\+\+\+ (\S+) PASSED} $output] {set name}]
    set failed [lmap {- name} [regexp -all -inline -line {^==== (\S+) FAILED} $output] {set name}]
    return [list $passed [lsort -unique $failed] $output]
}

# The tests of file that passed plainly but not with Kelb and are not
# known clashes.
proc LostTests {file plainPassed kelbPassed} {
    global clashes
    set patterns [expr {[dict exists $clashes $file] ? [dict get $clashes $file] : {}}]
    set lost {}
    foreach name $plainPassed {
        if {$name in $kelbPassed} continue
        set known 0
        foreach pattern $patterns {
            if {[string match $pattern $name]} {set known 1; break}
        }
        if {!$known} {lappend lost $name}
    }
    return $lost
}

set clashes [ReadClashes [file join $here known-clashes.txt]]
set regressions 0
set compared 0
set failedPlainly 0
foreach file $files {
    set path [file join $suiteDir $file]
    lassign [RunFile plain $path] plainPassed plainFailed
    lassign [RunFile kelb $path] kelbPassed - output
    set lost [LostTests $file $plainPassed $kelbPassed]
    if {[llength $lost]} {
        # Timer tests can miss their marks on a loaded machine: a test
        # counts as lost only when a second run with Kelb fails it too.
        lassign [RunFile kelb $path] againPassed - output
        set lost [LostTests $file $lost $againPassed]
    }
    incr compared [llength $plainPassed]
    incr failedPlainly [llength $plainFailed]
    puts [format "%-28s %5d passed plainly (%d failed), %5d with Kelb, %d lost" \
              $file [llength $plainPassed] [llength $plainFailed] [llength $kelbPassed] \
              [llength $lost]]
    if {[llength $plainPassed] == 0} {
        incr regressions
        puts "  no test passed plainly: the file did not run\n[string range $output 0 1500]"
    }
    if {[llength $lost]} {
        incr regressions [llength $lost]
        puts "  lost: [join $lost {, }]"
        foreach name $lost {
            set at [string first "==== $name FAILED" $output]
            if {$at >= 0} {puts [string range $output $at [expr {$at + 1500}]]}
        }
    }
}
puts "coexistence: [llength $files] files, $compared tests compared\
      ($failedPlainly failed plainly), $regressions lost with Kelb loaded"
exit [expr {$regressions > 0}]

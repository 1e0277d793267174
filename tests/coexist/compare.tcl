# compare.tcl --
#
#     Runs test files of Tcl's own suite and of tcllib twice, plainly and
#     with Kelb loaded first (runner.tcl), and fails when a test that passes
#     plainly does not pass with Kelb, unless known-clashes.txt lists it.
#
# Usage: tclsh compare.tcl ?-timeout SECONDS? SUITE-DIR FILE ?FILE ...?
#     FILE is relative to SUITE-DIR. KELB's package must be on auto_path
#     (TCLLIBPATH). Prints one line per file and a closing count.

set here [file dirname [file normalize [info script]]]
set timeout 300
if {[lindex $argv 0] eq "-timeout"} {
    set timeout [lindex $argv 1]
    set argv [lrange $argv 2 end]
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

# The names of the tests that passed in one run, and the run's output.
proc RunFile {mode path} {
    global here timeout
    set cmd [list timeout -k 10 $timeout [info nameofexecutable] \
                 [file join $here runner.tcl] $mode $path -verbose pbe]
    catch {exec {*}$cmd 2>@1} output
    set passed {}
    foreach {- name} [regexp -all -inline -line {^\+\+\+\+ (\S+) PASSED} $output] {
        lappend passed $name
    }
    return [list $passed $output]
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
foreach file $files {
    set path [file join $suiteDir $file]
    lassign [RunFile plain $path] plainPassed
    lassign [RunFile kelb $path] kelbPassed output
    set lost [LostTests $file $plainPassed $kelbPassed]
    if {[llength $lost]} {
        # Timer tests can miss their marks on a loaded machine: a test
        # counts as lost only when a second run with Kelb fails it too.
        lassign [RunFile kelb $path] againPassed output
        set lost [LostTests $file $lost $againPassed]
    }
    incr compared [llength $plainPassed]
    puts [format "%-32s %5d passed plainly, %5d with Kelb, %d lost" \
              $file [llength $plainPassed] [llength $kelbPassed] [llength $lost]]
    if {[llength $lost]} {
        incr regressions [llength $lost]
        puts "  lost: [join $lost {, }]"
        foreach name $lost {
            set at [string first "==== $name FAILED" $output]
            if {$at >= 0} {puts [string range $output $at [expr {$at + 1500}]]}
        }
    }
}
puts "coexistence: $compared tests compared, $regressions lost with Kelb loaded"
exit [expr {$regressions > 0}]

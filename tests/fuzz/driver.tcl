# driver.tcl --
#
#     The fuzz driver: runs the steps of a seed, or of a log, against the
#     library named by KELB_LIBRARY, writing every step to the log before
#     it runs, so that the last line of the log is the step that was
#     running when the process died or hung. Errors the steps raise are
#     caught; what counts is that the process survives and exits 0.
#
#     tclsh driver.tcl run SEED STEPS LOG    generate and run the steps
#     tclsh driver.tcl replay LOG            run the steps of a log again
#
#     The test library of the device module (KELB_DEVICE_TEST_LIBRARY, or
#     libkelbdevicetest.so beside the library) is loaded when present, so
#     that the device steps reach real ports.

set here [file dirname [file normalize [info script]]]
load $::env(KELB_LIBRARY) Kelb
source [file join $here hostile.tcl]
source [file join $here steps.tcl]
source [file join $here logfile.tcl]

if {[info exists ::env(KELB_DEVICE_TEST_LIBRARY)]} {
    set ::fz::deviceLibrary $::env(KELB_DEVICE_TEST_LIBRARY)
} else {
    set ::fz::deviceLibrary [file join [file dirname $::env(KELB_LIBRARY)] libkelbdevicetest.so]
}
if {[file exists $::fz::deviceLibrary]} {
    load $::fz::deviceLibrary Kelbdevicetest
}
if {[file exists $::fz::linkHelper]} {
    load $::fz::linkHelper Kelbtreetest
}

# Background errors (from "after" scripts and channel handlers) are
# expected and ignored, like the steps' own errors.
interp bgerror {} {apply {args {}}}

proc ::fz::runStep {log number script} {
    fz::logStep $log $number $script
    catch {uplevel #0 $script}
    fz::trim
}


lassign $argv mode
switch -- $mode {
    run {
        lassign $argv mode seed count logFile
        set log [fz::openLog $logFile "# seed $seed, $count steps"]
        fz::gen::seed $seed
        for {set i 0} {$i < $count} {incr i} {
            fz::runStep $log $i [fz::gen::step]
        }
        fz::runStep $log $count [fz::gen::teardown]
        close $log
    }
    replay {
        lassign $argv mode logFile
        set log [open /dev/null w]
        set i 0
        foreach script [fz::readLog $logFile] {
            if {[info exists ::env(KELB_FUZZ_VERBOSE)]} {puts stderr "step $i: $script"}
            fz::runStep $log $i $script
            incr i
        }
    }
    default {
        puts stderr "usage: driver.tcl run SEED STEPS LOG | replay LOG"
        exit 2
    }
}
# The exit tears down whatever the last steps left: processes, child
# interpreters, channels, traces and links.
exit 0

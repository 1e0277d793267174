# logfile.tcl --
#
#     Reading and writing the step logs of the fuzz driver and the model
#     check: a header line ("# seed N ..." or "# model seed N ...") and one
#     record "step N script" per step, a script possibly spanning lines.

namespace eval ::fz {}

proc ::fz::readLog {file} {
    set f [open $file]
    fconfigure $f -encoding utf-8
    set steps {}
    set record ""
    while {[gets $f line] >= 0} {
        append record $line
        if {![info complete $record]} {
            append record \n
            continue
        }
        if {[lindex $record 0] eq "step"} {lappend steps [lindex $record 2]}
        set record ""
    }
    close $f
    return $steps
}

proc ::fz::logHeader {file} {
    set f [open $file]
    gets $f line
    close $f
    return $line
}

proc ::fz::writeLog {file header steps} {
    set f [open $file w]
    fconfigure $f -encoding utf-8
    puts $f $header
    set i 0
    foreach step $steps {puts $f [list step $i $step]; incr i}
    close $f
}

# Opens a log for writing and writes its header.
proc ::fz::openLog {file header} {
    set f [open $file w]
    fconfigure $f -encoding utf-8
    puts $f $header
    return $f
}

proc ::fz::logStep {log number step} {
    puts $log [list step $number $step]
    flush $log
}

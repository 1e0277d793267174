# shrink.tcl --
#
#     Shrinks a failing log to the fewest steps that still fail the same
#     way (same sanitizer summary, same place of undefined behaviour, a
#     hang, or the same exit status), by delta debugging: drop ever smaller
#     runs of steps while the failure stays. Writes LOG.min and prints it.
#
#     tclsh shrink.tcl LOG RUN ?option ...?
#
#     RUN is tests/fuzz/run; the options are passed to its --check, which
#     replays a log and prints the failure's signature line.

lassign $argv logFile runner
set options [lrange $argv 2 end]
source [file join [file dirname [info script]] logfile.tcl]

set header [fz::logHeader $logFile]
set steps [fz::readLog $logFile]
set scratch $logFile.try

proc signatureOf {steps} {
    global header scratch runner options
    fz::writeLog $scratch $header $steps
    return [string trim [exec $runner --check $scratch {*}$options]]
}

set wanted [signatureOf $steps]
if {$wanted eq "ok"} {
    puts stderr "shrink: $logFile replays without failing"
    exit 1
}
puts "failure: $wanted ([llength $steps] steps)"

set parts 2
while {[llength $steps] >= 2} {
    set size [expr {([llength $steps] + $parts - 1) / $parts}]
    set reduced 0
    for {set start 0} {$start < [llength $steps]} {incr start $size} {
        set candidate [lreplace $steps $start [expr {$start + $size - 1}]]
        if {[signatureOf $candidate] eq $wanted} {
            set steps $candidate
            set parts [expr {max($parts - 1, 2)}]
            set reduced 1
            puts "  [llength $steps] steps"
            break
        }
    }
    if {!$reduced} {
        if {$parts >= [llength $steps]} break
        set parts [expr {min([llength $steps], $parts * 2)}]
    }
}
fz::writeLog $logFile.min $header $steps
file delete $scratch
puts "[llength $steps] steps in $logFile.min:"
foreach step $steps {puts "  $step"}

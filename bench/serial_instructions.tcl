# serial_instructions.tcl --
#
#     Instructions per line request over a pseudo-terminal, through a port
#     of the serial driver ("device open") and through Tcl's plain "open"
#     of the same path, counted by valgrind's callgrind in a fresh tclsh at
#     0 and N requests. The far end answers from the same event loop, so
#     both counts include the same answering work; what differs is the
#     channel. Instruction counts stand still where wall time, on a shared
#     machine, does not.
#
# Usage: tclsh bench/serial_instructions.tcl ?-library DIR? ?-n N?
#     DIR holds the built packages (default: build); N requests (2000).

if {[lindex $argv 0] eq "workload"} {
    lassign $argv - mode n
    package require Kelb::serial
    lassign [kelb::serial pty] far path
    fconfigure $far -blocking 0 -buffering line
    fileevent $far readable [list apply {{far} {
        if {[gets $far line] >= 0} {puts $far $line}
    }} $far]
    if {$mode eq "device"} {
        kelb::serial add $path near
        set c [device open near]
    } else {
        set c [open $path {RDWR NOCTTY}]
    }
    fconfigure $c -blocking 0 -buffering line
    fileevent $c readable [list apply {{c} {if {[gets $c line] >= 0} {set ::reply $line}}} $c]
    for {set i 0} {$i < $n} {incr i} {
        puts $c "MEAS:VOLT? $i"
        vwait ::reply
    }
    exit 0
}

set options [dict merge {-library build -n 2000} $argv]
set env(TCLLIBPATH) [file normalize [dict get $options -library]]
set n [dict get $options -n]
if {[auto_execok valgrind] eq ""} {
    puts stderr "serial_instructions: valgrind is needed (apt-get install valgrind)"
    exit 1
}
proc Instructions {mode n} {
    set cmd [list valgrind --tool=callgrind --callgrind-out-file=/dev/null \
                 [info nameofexecutable] [info script] workload $mode $n]
    catch {exec {*}$cmd 2>@1} output
    if {![regexp {Collected : (\d+)} $output -> count]} {
        error "no instruction count from: $cmd\n$output"
    }
    return $count
}
foreach mode {plain device} {
    dict set perRequest $mode [expr {double([Instructions $mode $n] - [Instructions $mode 0]) / $n}]
}
set plain [dict get $perRequest plain]
set device [dict get $perRequest device]
puts [format "instructions per request: plain open %.0f, device open %.0f (%+.1f%%)" \
          $plain $device [expr {100.0 * ($device - $plain) / $plain}]]

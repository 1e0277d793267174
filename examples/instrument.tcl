# instrument.tcl --
#
#     A panel that polls a measuring instrument on a serial port. With no
#     instrument at hand, it plays one itself on the far end of a
#     pseudo-terminal: a voltmeter that answers "*IDN?" and "MEAS:VOLT?",
#     one line per query. Run it with the build folder (or after
#     "cmake --install", without one):
#         wish examples/instrument.tcl build
#     or against a real instrument that speaks the same queries:
#         wish examples/instrument.tcl build --port ttyUSB0
#     "--selftest N" takes N readings and exits 0 only if they arrived, the
#     panel shows the last one, and no background error occurred.
#
#     The port is opened with "device open". A process of the scheduler
#     polls it every 100 ms: it takes the answer to the last query, if
#     any, writes it into the tree node /meter/volts, and sends the next
#     query. The labels show the nodes through -textvariable.

package require Tk

set folder {}
if {[llength $argv] && ![string match --* [lindex $argv 0]]} {
    set argv [lassign $argv folder]
}
set selftestReadings 0
set portName ""
foreach {option value} $argv {
    switch -- $option {
        --selftest {
            if {![string is integer -strict $value] || $value < 1} {set option bad}
            set selftestReadings $value
        }
        --port {set portName $value}
    }
    if {$option ni {--selftest --port}} {
        puts stderr "usage: wish instrument.tcl ?folder? ?--port name? ?--selftest readings?"
        exit 2
    }
}
if {$folder ne ""} {
    set auto_path [linsert $auto_path 0 [file normalize $folder]]
}
package require Kelb
package require Kelb::serial

# In the self-test a background error, or readings that stop coming, end
# the run as a failure.
if {$selftestReadings > 0} {
    interp bgerror {} [list apply {{message options} {
        puts stderr "instrument self-test failed: background error: $message"
        exit 1
    }}]
    after [expr {$selftestReadings * 100 + 20000}] {
        puts stderr "instrument self-test failed: ${/meter/readings} of $selftestReadings readings"
        exit 1
    }
}

# --- The simulated instrument, on the far end of a pseudo-terminal ---------

namespace eval simulator {
    variable far
    variable started [clock milliseconds]
}

# Answers one line: the identity, a voltage that drifts slowly, or an
# error for what it does not know, as SCPI instruments do.
proc simulator::answer {} {
    variable far
    variable started
    if {[gets $far query] < 0} {
        if {[eof $far]} {close $far}
        return
    }
    switch -- [string toupper [string trim $query]] {
        *IDN? {puts $far "Kelb,SimVolt,0001,1.0"}
        MEAS:VOLT? {
            set t [expr {([clock milliseconds] - $started) / 1000.0}]
            puts $far [format %.4f [expr {5.0 + 0.25 * sin($t) + 0.01 * rand()}]]
        }
        default {puts $far "-113,\"Undefined header\""}
    }
}

proc simulator::start {} {
    variable far
    lassign [kelb::serial pty] far path
    fconfigure $far -blocking 0 -buffering line -translation {auto crlf}
    fileevent $far readable simulator::answer
    return [kelb::serial add $path simvolt]
}

if {$portName eq ""} {
    set portName [simulator::start]
}

# --- The panel's side: a port, a poller, tree nodes ------------------------

set chan [device open $portName]
fconfigure $chan -blocking 0 -buffering line
tree set /meter/port $portName
tree set /meter/identity "(asking)"
tree set /meter/volts ""
tree set /meter/readings 0

# The identity arrives before the first reading; every later line is one.
puts $chan "*IDN?"
proc poll {} {
    global chan
    while {[gets $chan line] >= 0} {
        if {${/meter/identity} eq "(asking)"} {
            set /meter/identity $line
        } elseif {[string is double -strict $line]} {
            set /meter/volts $line
            incr /meter/readings
        }
    }
    puts $chan "MEAS:VOLT?"
    if {$::selftestReadings > 0 && ${/meter/readings} >= $::selftestReadings} {
        after idle finishSelftest
    }
}
set poller [process create poll -period 100000 -description "poll the meter"]
process start $poller

wm title . "Kelb instrument panel"
ttk::frame .panel -padding 10
foreach {row label node} {
    0 Port /meter/port
    1 Instrument /meter/identity
    2 Volts /meter/volts
    3 Readings /meter/readings
} {
    ttk::label .panel.l$row -text $label
    ttk::label .panel.v$row -textvariable $node -width 28
    grid .panel.l$row .panel.v$row -sticky w -padx 4 -pady 2
}
.panel.v2 configure -font {TkFixedFont 18}
pack .panel -fill both -expand 1

# The self-test: the readings arrived through the port, are numbers in
# the simulated range, and the panel shows the last one.
proc finishSelftest {} {
    set faults {}
    if {![string match Kelb,SimVolt,* ${/meter/identity}] && $::portName eq "simvolt"} {
        lappend faults "identity: ${/meter/identity}"
    }
    if {![string is double -strict ${/meter/volts}] || ${/meter/volts} < 4.7 || ${/meter/volts} > 5.3} {
        lappend faults "reading out of range: ${/meter/volts}"
    }
    if {[.panel.v2 cget -text] ne ${/meter/volts}} {
        lappend faults "the panel shows [.panel.v2 cget -text], the node holds ${/meter/volts}"
    }
    if {[llength $faults]} {
        puts stderr "instrument self-test failed:\n[join $faults \n]"
        exit 1
    }
    puts "instrument self-test: ${/meter/readings} readings, last ${/meter/volts} V"
    exit 0
}

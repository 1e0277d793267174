# hostile.tcl --
#
#     The values and addresses the fuzz steps feed to the commands, and the
#     small helpers the steps call. Steps name a value by its number
#     ([fz::val 15]) instead of carrying it, so that a logged step stays one
#     short line however large the value it stands for. Everything here is
#     a pure function of its arguments, so a replay sees the same values.

namespace eval ::fz {
    variable pids {}        ;# pids of processes the steps created
    variable kids {}        ;# child interpreters the steps created
    variable channels {}    ;# device channels the steps opened
    variable coroutines {}  ;# coroutines the steps created
    variable serial 0       ;# names of timers, coroutines, interpreters
    variable library $::env(KELB_LIBRARY)
    variable deviceLibrary ""
    # The test helper that links C variables to node values, if built.
    variable linkHelper [file join [file dirname $library] libkelbtreetest[info sharedlibextension]]
}

# The value with number n (taken modulo the table's size).
proc ::fz::val {n} {
    variable values
    set n [expr {$n % [llength $values]}]
    return [eval [lindex $values $n]]
}

# Scripts that build the hostile values; evaluated on every use, so that
# each use gets a fresh object (no internal representation carried over
# from an earlier use, except where a step reuses a variable on purpose).
set ::fz::values {
    {return {}}
    {return NaN}
    {return Inf}
    {return -Inf}
    {return 1e308}
    {return 1e309}
    {return -1e309}
    {return 9223372036854775807}
    {return -9223372036854775808}
    {return 9223372036854775808}
    {return 2147483648}
    {return -2147483649}
    {return 4294967295}
    {return 0}
    {return -0.0}
    {return 1e-320}
    {string repeat x 100000}
    {string repeat "1 " 20000}
    {lrepeat 20000 1.5}
    {::fz::nested 2000}
    {return "a\0b"}
    {return "\0"}
    {encoding convertfrom utf-8 "\xf0\x9f\x98\x80"}
    {return "\U0001F600 \U0010FFFF"}
    {return "a\{b"}
    {return "\}"}
    {return "\{1 2\} \{3"}
    {return {{1 2} {3 4}}}
    {return {1 2 3}}
    {return {{1 2 3}}}
    {return {{1 2} {3}}}
    {return {{1 2 3} {4 5 6} {7 8 10}}}
    {return {{1 0 0 0} {0 2 0 0} {0 0 3 0} {0 0 0 4}}}
    {lrepeat 5 [lrepeat 5 2.5]}
    {lrepeat 64 {1 2 3}}
    {return -}
    {return -period}
    {return 1}
    {return 0x10}
    {return 1e-3}
    {return " 5 "}
    {return {$x[exit 3]}}
    {return "\\"}
    {return {NaN NaN NaN}}
    {return {1e308 1e308 1e308}}
    {return {{} {} {}}}
    {return {{} {}}}
    {return 3.0}
    {return -5}
}

# A list nested depth levels deep around the number 1.
proc ::fz::nested {depth} {
    return "[string repeat \{ $depth]1[string repeat \} $depth]"
}

# The hostile address with number n.
proc ::fz::addr {n} {
    variable addresses
    set n [expr {$n % [llength $addresses]}]
    return [eval [lindex $addresses $n]]
}

set ::fz::addresses {
    {return /}
    {return {}}
    {return a/b}
    {return /#}
    {return /#0}
    {return /#1}
    {return /#ffffffff}
    {return /#100000000}
    {return /#-1}
    {return /#zz}
    {return "/#[string repeat f 40]"}
    {string repeat /a 3000}
    {return "/a[string repeat .b 3000]"}
    {return "/[string repeat n 31]"}
    {return "/[string repeat n 32]"}
    {return "/a\x01b"}
    {return "/a\tb"}
    {return "/a b"}
    {return "/a\x7f"}
    {return "/a\u00e9"}
    {return "/a\0b"}
    {return "/\U0001F600"}
    {return /a//b}
    {return /a/b.}
    {return //}
    {return /.}
    {return /env.runtime}
    {return /env}
    {return /interp0}
    {return "/a\{b"}
    {return "/\}"}
    {return {/$x[exit 3]}}
}

# Frees the store's nodes below the root that the steps may use, when the
# tree has grown large (copies can double it).
proc ::fz::trim {} {
    if {[catch {qenutil nodes} n] || $n < 20000} return
    foreach name {a b c d} {catch {tree rm /$name}}
}

# Runs the event loop for ms milliseconds (never waits for ever).
proc ::fz::pump {ms} {
    variable serial
    set flag ::fz::pumped[incr serial]
    after $ms [list set $flag 1]
    vwait $flag
    unset -nocomplain $flag
}

# The pid most recently created by a step, or -1.
proc ::fz::lastpid {} {
    variable pids
    if {[llength $pids]} {return [lindex $pids end]}
    return -1
}

# Creates a script process and remembers its pid.
proc ::fz::spawn {script args} {
    variable pids
    set pid [process create $script {*}$args]
    lappend pids $pid
    return $pid
}

# A child interpreter with the package loaded; its name is remembered.
proc ::fz::child {} {
    variable kids
    variable serial
    variable library
    variable linkHelper
    set name fzkid[incr serial]
    interp create $name
    load $library Kelb $name
    if {[file exists $linkHelper]} {load $linkHelper Kelbtreetest $name}
    interp alias $name ::fz::parent {} ::fz::inParent
    lappend kids $name
    return $name
}

# What children call to reach back into this interpreter.
proc ::fz::inParent {args} {
    uplevel #0 $args
}

# The nth child still alive, or "" when there is none.
proc ::fz::kid {n} {
    variable kids
    set kids [lmap k $kids {if {[interp exists $k]} {set k} else continue}]
    if {![llength $kids]} {return ""}
    return [lindex $kids [expr {$n % [llength $kids]}]]
}

# The nth channel opened on a device port, or "".
proc ::fz::channel {n} {
    variable channels
    set channels [lmap c $channels {if {$c in [chan names]} {set c} else continue}]
    if {![llength $channels]} {return ""}
    return [lindex $channels [expr {$n % [llength $channels]}]]
}

# Reads what a device channel has, from its readable handler.
proc ::fz::drain {channel} {
    catch {fconfigure $channel -blocking 0}
    if {[catch {read $channel} data] || [eof $channel]} {
        catch {close $channel}
    }
}

# Resumes the nth coroutine still alive.
proc ::fz::resume {n} {
    variable coroutines
    set coroutines [lmap c $coroutines {if {[llength [info commands $c]]} {set c} else continue}]
    if {![llength $coroutines]} return
    [lindex $coroutines [expr {$n % [llength $coroutines]}]]
}

# The identity of the node at path, or an identity of no node.
proc ::fz::record {path} {
    if {[catch {qenutil record $path} id]} {return /#0}
    return $id
}

# Runs a command of the calculators twice on the same objects, and once
# on fresh copies of its words (no internal representation left on them
# by earlier uses): the three answers, with their error codes, must be the
# same. A difference ends the run as a failure.
proc ::fz::same {args} {
    set answers {}
    foreach words [list $args $args [lmap word $args {string range "x$word" 1 end}]] {
        set code [catch {uplevel #0 $words} result options]
        set errorCode [expr {$code == 1 ? [dict get $options -errorcode] : ""}]
        lappend answers [list $code $result $errorCode]
    }
    if {[llength [lsort -unique $answers]] != 1} {
        puts stderr "MISMATCH same words, different answers: [string range $args 0 300]"
        foreach answer $answers {puts stderr "  [string range $answer 0 300]"}
        exit 1
    }
}

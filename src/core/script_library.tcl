# script_library.tcl --
#
#     The package's library of Tcl procedures: an option-list parser, list
#     procedures that work on a variable of the caller (set-like add and
#     remove, stack and queue operations, assignment of list elements to
#     variables), and a timed wait that keeps the event loop running.
#
#     The text is built into the library and evaluated by Kelb_Init in the
#     context that is current when the package is loaded. Every procedure
#     lives in the namespace ::kelb. All but lset and lreverse are also
#     imported, under their plain names, into the namespace current at load
#     time; those two stay reachable only as kelb::lset and kelb::lreverse,
#     because Tcl has built-in commands of the same names with other
#     meanings, on which other packages rely.
#
#     Searches use glob matching, so a value holding *, ?, [ or \ is taken
#     as a pattern. Caller's variables are reached with "upvar 1", so that
#     a variable whose name looks like a level (such as "1" or "#0") is
#     still taken as a name.
#
#     Inside this namespace, "lset" and "lreverse" name the procedures
#     below, not Tcl's built-ins: the procedures here never use either.
#
#     "$var[set var {}]" passes a list on while emptying its variable, so
#     that the list is unshared and Tcl shortens it in place rather than
#     copying it: popping and dequeuing stay cheap however long the list.
#     It is used only where nothing can fail any more.

namespace eval ::kelb {

# string.to.args --
#
#     Parses an option-style word list into a flat key/value list, in the
#     form "array get" returns (keys in the order they first appear).
#     Words before the first option are kept under the key phyrst when it
#     is not empty, and dropped otherwise. A key given twice keeps its last
#     value.
proc string.to.args {str {phyrst {}}} {
    set parsed {}
    set key $phyrst
    set value {}
    foreach word $str {
        if {[string index $word 0] eq "-"} {
            dict set parsed $key $value
            set key [string range $word 1 end]
            set value {}
        } else {
            lappend value $word
        }
    }
    dict set parsed $key $value
    return [dict remove $parsed {}]
}

# ladd --
#
#     Adds VAL to the caller's list VAR, taken as a set: only when no
#     element matches it. Returns the list after appending, or nothing
#     when nothing was appended.
proc ladd {VAR VAL} {
    upvar 1 $VAR list
    if {![info exists list] || [lsearch -glob $list $VAL] < 0} {
        return [lappend list $VAL]
    }
    return
}

# ldelete --
#
#     Returns LIST without the first element matching each of the values,
#     taken in order; a value matching nothing is skipped.
proc ldelete {LIST args} {
    foreach value $args {
        set index [lsearch -glob $LIST $value]
        if {$index >= 0} {
            set LIST [lreplace $LIST $index $index]
        }
    }
    return $LIST
}

# lreverse --
#
#     Returns the elements of LIST, last first.
proc lreverse {LIST} {
    set reversed {}
    for {set index [llength $LIST]} {[incr index -1] >= 0} {} {
        lappend reversed [lindex $LIST $index]
    }
    return $reversed
}

# lset --
#
#     Assigns each element of the list STRING to the caller's variable
#     named by the element of VARS at the same index. Elements with no
#     variable name to go to are not assigned; names with no element are
#     left alone.
proc lset {STRING VARS} {
    set count [expr {min([llength $STRING], [llength $VARS])}]
    for {set index 0} {$index < $count} {incr index} {
        upvar 1 [lindex $VARS $index] target
        set target [lindex $STRING $index]
    }
    return
}

# lremove --
#
#     Removes from the caller's list VAR the first element matching each
#     of the values, as ldelete does. A missing variable is left missing.
proc lremove {VAR args} {
    upvar 1 $VAR list
    if {![info exists list]} return
    set list [ldelete $list {*}$args]
    return
}

# lfifo --
#
#     Queue read: moves the first len elements of the caller's list
#     stackvar into the caller's variable linevar, as a list. An empty
#     list changes neither variable. Returns the length the list had. A
#     missing stackvar is an error, as reading it would be.
proc lfifo {stackvar linevar {len 1}} {
    upvar 1 $stackvar stack $linevar line
    if {![info exists stack]} {
        return -code error -errorcode [list TCL LOOKUP VARNAME $stackvar] \
            "can't read \"$stackvar\": no such variable"
    }
    set length [llength $stack]
    if {$length > 0} {
        # A len that is no index fails here, before anything changes.
        set last [expr {$len - 1}]
        set line [lrange $stack 0 $last]
        set stack [lrange $stack[set stack {}] [expr {$last + 1}] end]
    }
    return $length
}

# lpop --
#
#     Stack pop: takes the last element off the caller's list stackvar.
#     Returns the element, or, when storevar names a variable of the
#     caller, stores the element there and returns the number of elements
#     left. A missing stackvar gives an empty result.
proc lpop {stackvar {storevar {}}} {
    upvar 1 $stackvar stack
    if {![info exists stack]} return
    set element [lindex $stack end]
    set stack [lrange $stack[set stack {}] 0 end-1]
    if {$storevar eq ""} {
        return $element
    }
    upvar 1 $storevar store
    set store $element
    return [llength $stack]
}

# lpush --
#
#     Stack push: appends line as one element to the caller's list
#     stackvar, creating it if needed. Returns the new list.
proc lpush {stackvar line} {
    upvar 1 $stackvar stack
    return [lappend stack $line]
}

# lpeek --
#
#     Returns the top (last element) of the caller's list stackvar without
#     changing it; empty for an empty list, an error for a missing one.
proc lpeek {stackvar} {
    upvar 1 $stackvar stack
    if {![info exists stack]} {
        return -code error -errorcode [list TCL LOOKUP VARNAME $stackvar] \
            "can't read \"$stackvar\": no such variable"
    }
    return [lindex $stack end]
}

# get --
#
#     Returns the value of the caller's variable var, or nothing, without
#     an error, when it does not exist.
proc get {var} {
    upvar 1 $var value
    if {[info exists value]} {
        return $value
    }
    return
}

# wait --
#
#     Services pending events, then keeps the event loop running for msec
#     milliseconds, until a timer sets the global variable pause to 1.
#     Only this call's own timer ends the wait: a wait nested in an event
#     handler sets pause too, and must not cut the outer one short.
proc wait {msec} {
    global pause
    update
    set timer [after $msec {set pause 1}]
    vwait pause
    while {![catch {after info $timer}]} {
        vwait pause
    }
    return
}

namespace export string.to.args ladd ldelete lremove lfifo lpop lpush lpeek get wait
}

# The plain names, in the namespace current at load; -force replaces a
# command of the same name there, as defining the procedure there would.
namespace import -force ::kelb::*

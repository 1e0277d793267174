# library_procs.tcl --
#
#     The script library's list procedures as they were written in Tcl
#     before they became C++ commands, in the namespace ::procs: the
#     "procs" column of library.bench, so that one run shows what the
#     commands gained.

namespace eval ::procs {

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

proc ladd {VAR VAL} {
    upvar 1 $VAR list
    if {![info exists list] || [lsearch -glob $list $VAL] < 0} {
        return [lappend list $VAL]
    }
    return
}

proc ldelete {LIST args} {
    foreach value $args {
        set index [lsearch -glob $LIST $value]
        if {$index >= 0} {
            set LIST [lreplace $LIST $index $index]
        }
    }
    return $LIST
}

proc lremove {VAR args} {
    upvar 1 $VAR list
    if {![info exists list]} return
    set list [ldelete $list {*}$args]
    return
}

proc lfifo {stackvar linevar {len 1}} {
    upvar 1 $stackvar stack $linevar line
    if {![info exists stack]} {
        return -code error -errorcode [list TCL LOOKUP VARNAME $stackvar] \
            "can't read \"$stackvar\": no such variable"
    }
    set length [llength $stack]
    if {$length > 0} {
        set last [expr {$len - 1}]
        set line [lrange $stack 0 $last]
        set stack [lrange $stack[set stack {}] [expr {$last + 1}] end]
    }
    return $length
}

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

proc lpush {stackvar line} {
    upvar 1 $stackvar stack
    return [lappend stack $line]
}

}

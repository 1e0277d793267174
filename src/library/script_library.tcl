# script_library.tcl --
#
#     The part of the package's library that stays in Tcl: the timed wait
#     that keeps the event loop running. The library's other commands are
#     written in C++ and created in ::kelb before this text is evaluated.
#
#     The text is built into the library and evaluated by Kelb_Init in the
#     context that is current when the package is loaded. Once it has been
#     evaluated without error, the library's commands get their plain
#     names there too, each one only where that name is not already a
#     command (script_library.cpp).

namespace eval ::kelb {

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

namespace export wait
}

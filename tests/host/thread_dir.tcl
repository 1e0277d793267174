# Prints the folder of the Thread package this tclsh loads, or nothing
# when it has none.
if {![catch {package require Thread}]} {
    foreach loaded [info loaded] {
        if {[lindex $loaded 1] eq "Thread"} {puts [file dirname [lindex $loaded 0]]}
    }
}

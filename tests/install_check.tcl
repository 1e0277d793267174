# Prints the version and the location of the Kelb that package require
# finds. Given the path of a library built for another Tcl release, also
# prints what loading it into a fresh interpreter reports.
puts "[package require Kelb] [lindex [package ifneeded Kelb [package present Kelb]] 1]"
if {$argc == 1} {
    interp create other
    if {[catch {load [lindex $argv 0] Kelb other} message]} {
        puts "refused: $message"
    } else {
        puts "loaded"
    }
}

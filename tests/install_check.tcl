# Prints the version and the location of the Kelb that package require
# finds. Given the path of a library built for another Tcl release, also
# prints what loading it into a fresh interpreter reports. With -commands
# and the path of a library: loads it and prints the commands it made in
# ::kelb, as kelb::NAME.
if {[lindex $argv 0] eq "-commands"} {
    load [lindex $argv 1] Kelb
    puts [lmap name [lsort [info commands ::kelb::*]] {string range $name 2 end}]
    exit
}
puts "[package require Kelb] [lindex [package ifneeded Kelb [package present Kelb]] 1]"
if {$argc == 1} {
    interp create other
    if {[catch {load [lindex $argv 0] Kelb other} message]} {
        puts "refused: $message"
    } else {
        puts "loaded"
    }
}

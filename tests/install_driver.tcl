# Loads the installed serial package and a driver extension built
# against the installed headers (the path in argv), and prints what
# "device" makes of a port from each.
set serial [package require Kelb::serial]
load [lindex $argv 0] Kelbdrivertest
drivertest::register outside {from outside}
lassign [kelb::serial pty] far path
kelb::serial add $path installed
set a [device open outside]
set b [device open installed]
puts "serial $serial; [device type outside] {[device desc outside]}; [device type installed];\
      [expr {$a ne "" && $b ne "" ? "both open" : "not open"}]"

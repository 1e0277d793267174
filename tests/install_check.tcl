# Prints the version and the location of the Kelb that package require finds.
puts "[package require Kelb] [lindex [package ifneeded Kelb [package present Kelb]] 1]"

# Prints Tcl's package path as a CMake list.
puts [join $tcl_pkgPath ";"]

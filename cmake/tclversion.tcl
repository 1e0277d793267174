puts [info tclversion]

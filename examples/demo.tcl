# demo.tcl --
#
#     A tour of Kelb. Run it with the path of the built library:
#         tclsh examples/demo.tcl build/libkelb12.so
#     or without one after "cmake --install", through "package require".

if {$argc > 0} {
    load [lindex $argv 0] Kelb
} else {
    package require Kelb
}

proc section {title} {puts "\n== $title"}
proc show {script} {
    puts [format "%-44s -> %s" $script [uplevel #0 $script]]
}

section "Package"
foreach module [lsort [array names kelb]] {lappend status "$module=$kelb($module)"}
puts "Kelb [package present Kelb]; module status: [join $status {, }]"

section "Matrix calculator (postfix)"
set A {{2 1} {1 3}}
set B {{1 0} {2 1}}
show {mexpr {1 2 3} {4 5 6} +}
show [list mexpr $A $B *.]
show [list mexpr $A determinate]
show [list mexpr 0 $A inverse]
show [list mexpr 0 $A transpose]
show [list mexpr $A 2 /]
# An inverse times its matrix is the identity.
show [list mexpr $A $A inverse *.]

section "Tree store (node values are variables named by their address)"
show {tree set /demo/size 10}
show {tree create /demo.colors/red}
show {set /demo/size}
show {incr /demo/size 5}
proc grow {} {incr /demo/size}   ;# a literal address in a procedure body
show {grow}
trace add variable /demo/size write {apply {{name args} {puts "  (trace: $name is now [set $name])"}}}
show {tree set /demo/size 1}
trace remove variable /demo/size write {apply {{name args} {puts "  (trace: $name is now [set $name])"}}}
show {tree children /demo/}
show {tree children /demo}
show {qenutil split /demo.colors/red}
show {tree ln /demo /d}
show {set /d/size}
puts "Export text of /demo:[qenutil export /demo]"
show {tree rm /demo}
show {tree exists /d}

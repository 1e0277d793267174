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

section "Script library"
show {string.to.args {notes.txt -mode fast -retries 3 -verbose} file}
show {set queue {}; foreach job {build test ship} {lpush queue $job}; set queue}
show {lfifo queue next 2}
show {set next}
show {lpop queue}
show {list [ladd seen alpha] [ladd seen alpha] [ladd seen beta]}
show {ldelete {a b a c} a c}
show {kelb::lset {1 2} {x y}; list $x $y}
show {list [get x] [get undefined]}
show {set t [clock milliseconds]; wait 50; expr {[clock milliseconds] - $t >= 50}}
puts "Tcl's own lset is kept: [set l {a b c}; lset l 1 B]"

section "Device ports"
# The package ships no driver, so no ports are registered.
show {device names}
show {catch {device open com1} message; set message}

section "Vector geometry (vexpr) and point lists (matrix)"
set a {0 0 0}; set b {4 0 0}; set c {0 3 0}
show [list vexpr $b $c distance]
show [list vexpr $a $b half]
show [list vexpr $b $a - $c $a - *x normalize]
show [list vexpr $b $c *.]
show {vexpr {90 0 0} [list [vexpr deg2rad] 0 0] *}
# A square turned a quarter turn about its centre, then mapped to canvas
# coordinates (x to the right, y down, 50 pixels per unit).
set square {{0 0 0} {2 0 0} {2 2 0} {0 2 0}}
show [list matrix transform $square {0 0 90} {1 1 0}]
show [list matrix canscale $square {100 200} {50 -50}]
show [list matrix range {{1 2 3} {4 5 6} {7 8 9}} {1 0 2 1}]
show [list matrix cramer {{2 1} {1 3}} {3 5}]

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

section "Periodic process"
# A process runs its script once per period while the event loop runs.
set ticks 0
set pid [process create {incr ::ticks} -period 100000 -description ticker]
process start $pid
wait 550
puts "ticks after 0.55 s of the event loop (one per 100 ms, the first at once): $ticks"
show [list process configure $pid]
show [list process configure $pid -frequency]
puts [string trimright [process ps]]
process kill $pid

section "Runtime counter"
# /env.runtime counts the seconds the event loop has run since the load;
# the first count comes at the first pass, then one per second.
puts "/env.runtime now: [set /env.runtime]"
wait 1100
puts "/env.runtime after 1.1 s more: [set /env.runtime]"

# wireframe.tcl --
#
#     A turning wireframe cube on a Tk canvas. Run it with the path of the
#     built library:
#         wish examples/wireframe.tcl build/libkelb12.so
#     or without one after "cmake --install", through "package require".
#     "--selftest N" draws N frames and exits 0 only if they were drawn and
#     no background error occurred.
#
#     The view angles are tree nodes bound to the scales: dragging a scale
#     writes the node and turns the cube, and "tree set /view/angle 45"
#     moves the scale. A process of the scheduler draws a frame every 20 ms:
#     "matrix transform" turns the corners and "matrix canscale" maps them
#     to the canvas.

package require Tk

set library {}
if {[llength $argv] && ![string match --* [lindex $argv 0]]} {
    set argv [lassign $argv library]
}
set selftestFrames 0
foreach {option value} $argv {
    if {$option ne "--selftest" || ![string is integer -strict $value] || $value < 1} {
        puts stderr "usage: wish wireframe.tcl ?library? ?--selftest frames?"
        exit 2
    }
    set selftestFrames $value
}
if {$library ne ""} {
    load $library Kelb
} else {
    package require Kelb
}

# In the self-test a background error ends the run as a failure.
if {$selftestFrames > 0} {
    interp bgerror {} [list apply {{message options} {
        puts stderr "wireframe self-test failed: background error: $message"
        exit 1
    }}]
}

# The cube: eight corners and the twelve edges between them.
set corners {
    {-1 -1 -1} {1 -1 -1} {1 1 -1} {-1 1 -1}
    {-1 -1 1} {1 -1 1} {1 1 1} {-1 1 1}
}
set edges {
    {0 1} {1 2} {2 3} {3 0}
    {4 5} {5 6} {6 7} {7 4}
    {0 4} {1 5} {2 6} {3 7}
}

# The view: angles in degrees about the x and y axes, and the turn added
# to the angle about y at every frame.
tree set /view/tilt 25
tree set /view/angle 30
tree set /view/spin 1

set size 400
set frames 0
wm title . "Kelb wireframe"
canvas .canvas -width $size -height $size -background #101820 -highlightthickness 0
foreach edge $edges {
    lappend edgeItems [.canvas create line 0 0 0 0 -width 2 -capstyle round]
}
foreach corner $corners {
    lappend cornerItems [.canvas create oval 0 0 0 0 -outline {} -fill #ffd060]
}

ttk::frame .controls -padding 6
proc addScale {row label node from to} {
    ttk::label .controls.l$row -text $label
    scale .controls.s$row -orient horizontal -from $from -to $to -resolution 1 \
        -length 200 -showvalue 1 -variable $node
    grid .controls.l$row .controls.s$row -sticky w -padx 4
}
addScale 0 "Turn (/view/angle)" /view/angle 0 359
addScale 1 "Tilt (/view/tilt)" /view/tilt -90 90
addScale 2 "Spin (/view/spin)" /view/spin -10 10
ttk::label .controls.runtimeLabel -text "Seconds (/env.runtime)"
ttk::label .controls.runtime -textvariable /env.runtime
ttk::label .controls.framesLabel -text "Frames drawn"
ttk::label .controls.frames -textvariable frames
grid .controls.runtimeLabel .controls.runtime -sticky w -padx 4
grid .controls.framesLabel .controls.frames -sticky w -padx 4
pack .canvas -side top
pack .controls -side top -fill x

# A little perspective: z points at the viewer, so nearer points spread
# out from the centre.
proc perspective {points} {
    lmap point $points {
        lassign $point x y z
        set k [expr {5.0 / (5.0 - $z)}]
        list [expr {$x * $k}] [expr {$y * $k}]
    }
}

# Nearer edges are drawn brighter and wider; z runs from -sqrt(3) (far)
# to sqrt(3) (near).
proc depthStyle {z} {
    set near [expr {($z + 1.8) / 3.6}]
    set level [expr {int(60 + 195 * $near)}]
    list -fill [format #%02x%02x%02x [expr {$level / 2}] $level 255] \
        -width [expr {1 + 2.5 * $near}]
}

# One frame: advance the turn, rotate the corners, map them to the canvas
# and move the items there.
proc drawFrame {} {
    global corners edges edgeItems cornerItems size frames
    set /view/angle [expr {fmod(${/view/angle} + ${/view/spin} + 360, 360)}]
    # Turned about the cube's upright axis first, then tilted towards the
    # viewer, so that the tilt stays a view from above at every turn
    # (one transform would tilt first).
    set turned [matrix transform $corners [list 0 ${/view/angle} 0] {0 0 0}]
    set turned [matrix transform $turned [list ${/view/tilt} 0 0] {0 0 0}]
    # The canvas's y runs downwards.
    set scale [expr {$size / 4.5}]
    set points [matrix canscale [perspective $turned] \
                    [list [expr {$size / 2}] [expr {$size / 2}]] [list $scale [expr {-$scale}]]]
    foreach edge $edges item $edgeItems {
        lassign $edge a b
        .canvas coords $item {*}[lrange $points [expr {2 * $a}] [expr {2 * $a + 1}]] \
            {*}[lrange $points [expr {2 * $b}] [expr {2 * $b + 1}]]
        set z [expr {([lindex $turned $a 2] + [lindex $turned $b 2]) / 2.0}]
        .canvas itemconfigure $item {*}[depthStyle $z]
    }
    foreach item $cornerItems {x y} $points {
        .canvas coords $item [expr {$x - 3}] [expr {$y - 3}] [expr {$x + 3}] [expr {$y + 3}]
    }
    incr frames
    if {$::selftestFrames > 0 && $frames == $::selftestFrames} {
        after idle finishSelftest
    }
}

# The self-test: N frames drawn, the scales and the nodes bound both ways
# and the cube on the canvas (a background error has ended it already).
proc finishSelftest {} {
    global frames selftestFrames edgeItems size
    set faults {}
    if {$frames < $selftestFrames} {lappend faults "$frames of $selftestFrames frames drawn"}
    tree set /view/angle 45
    if {[.controls.s0 get] != 45} {lappend faults "tree set /view/angle 45 left the scale at [.controls.s0 get]"}
    .controls.s1 set -30
    if {${/view/tilt} != -30} {lappend faults "the scale at -30 left /view/tilt at ${/view/tilt}"}
    foreach item $edgeItems {
        foreach c [.canvas coords $item] {
            if {$c < 0 || $c > $size} {lappend faults "edge $item outside the canvas: [.canvas coords $item]"; break}
        }
    }
    if {[llength $faults]} {
        puts stderr "wireframe self-test failed:\n[join $faults \n]"
        exit 1
    }
    puts "wireframe self-test: $frames frames drawn"
    exit 0
}

# A frame that fails stops the animation and is reported as a background
# error (a failing process run would only stop it, silently).
set animation [process create {
    if {[catch drawFrame message options]} {
        process stop $::animation
        after idle [list error $message [dict get $options -errorinfo]]
    }
} -period 20000 -description wireframe]
process start $animation

if {$selftestFrames > 0} {
    # A guard: N frames take N/50 s; allow five times that and ten
    # seconds for starting up.
    after [expr {10000 + 100 * $selftestFrames}] {
        puts stderr "wireframe self-test failed: only $frames of $selftestFrames frames drawn in time"
        exit 1
    }
}

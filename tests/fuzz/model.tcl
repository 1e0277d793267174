# model.tcl --
#
#     Model check of the tree store: random create, set, unset, rm, mv, cp
#     and ln steps go both to the store (below the node /m) and to a small
#     model of it in plain Tcl. After every step the two must agree on
#     which nodes exist, the values read as variables, both kinds of
#     children in order, the number of live nodes and the export text. The
#     first disagreement is printed as a line beginning with MISMATCH and
#     ends the run with status 1.
#
#     tclsh model.tcl run SEED STEPS LOG    generate, log and check steps
#     tclsh model.tcl replay LOG            check the steps of a log again
#
#     Every query the check makes is also a lookup, and a lookup that
#     meets a link whose target is gone turns that link into a plain node;
#     so each query is applied to the model too, in the same order.

set here [file dirname [file normalize [info script]]]
load $::env(KELB_LIBRARY) Kelb
source [file join $here logfile.tcl]
source [file join $here steps.tcl]

namespace eval ::model {
    # Node records, by model identity: kind (plain, value, unset, link),
    # value, target (a link's), parent, type (i or j), name, and the child
    # lists i and j, newest first. Node 0 stands for /m.
    variable node
    variable alive
    variable nextId 1
    variable top /m
}

proc ::model::reset {} {
    variable node
    variable alive
    array unset node
    array unset alive
    set alive(0) 1
    array set node {0,kind plain 0,value {} 0,target {} 0,parent {} 0,type i 0,name m 0,i {} 0,j {}}
}

proc ::model::newChild {parent type name} {
    variable node
    variable alive
    variable nextId
    set id [incr nextId]
    array set node [list $id,kind plain $id,value {} $id,target {} $id,parent $parent \
                        $id,type $type $id,name $name $id,i {} $id,j {}]
    set alive($id) 1
    set node($parent,$type) [linsert $node($parent,$type) 0 $id]
    return $id
}

proc ::model::child {parent type name} {
    variable node
    foreach id $node($parent,$type) {
        if {$node($id,name) eq $name} {return $id}
    }
    return ""
}

# The lookup of the store, on an address given as a list of separator and
# name pairs below /m. mode: find, create or probe. Returns the node, or
# "" when it is not found; probe returns the deepest node reached and sets
# the caller's variable complete.
proc ::model::walk {pairs mode {completeVar ""}} {
    variable node
    variable alive
    if {$completeVar ne ""} {upvar 1 $completeVar complete; set complete 1}
    set current 0
    set rest $pairs
    while {[llength $rest]} {
        set rest [lassign $rest sep name]
        set type [expr {$sep eq "/" ? "i" : "j"}]
        set raw [child $current $type $name]
        set found $raw
        if {$raw ne "" && $node($raw,kind) eq "link"} {
            if {[info exists alive($node($raw,target))]} {
                set found $node($raw,target)
            } else {
                set node($raw,kind) plain
                set node($raw,target) {}
                set found [expr {$mode eq "create" ? $raw : ""}]
            }
        }
        if {$found ne ""} {
            set current $found
            continue
        }
        switch -- $mode {
            find { return "" }
            probe { set complete 0; return $current }
            create {
                set current [newChild $current $type $name]
                foreach {sep name} $rest {
                    set current [newChild $current [expr {$sep eq "/" ? "i" : "j"}] $name]
                }
                return $current
            }
        }
    }
    return $current
}

proc ::model::unlink {id} {
    variable node
    set list $node($node($id,parent),$node($id,type))
    set index [lsearch -exact $list $id]
    set node($node($id,parent),$node($id,type)) [lreplace $list $index $index]
    return $index
}

proc ::model::relink {id index} {
    variable node
    set key $node($id,parent),$node($id,type)
    set node($key) [linsert $node($key) $index $id]
}

proc ::model::free {id} {
    variable node
    variable alive
    foreach child [concat $node($id,i) $node($id,j)] {free $child}
    unset alive($id)
}

# What a copy reads for a node: a live link's target, else the node.
proc ::model::readSource {id} {
    variable node
    variable alive
    if {$node($id,kind) eq "link" && [info exists alive($node($id,target))]} {
        return $node($id,target)
    }
    return $id
}

# Why a copy of `from` must be refused ("" when it may go ahead): it
# would read `landing`, or enter a node it is still reading.
proc ::model::copyCheck {from landing {path {}}} {
    variable node
    set id [readSource $from]
    if {$id == $landing} {return inside}
    if {$id in $path} {return circular}
    lappend path $id
    foreach child [concat $node($id,i) $node($id,j)] {
        set why [copyCheck $child $landing $path]
        if {$why ne ""} {return $why}
    }
    return ""
}

proc ::model::copy {from to} {
    variable node
    set from [readSource $from]
    if {$node($from,kind) eq "value"} {
        set node($to,kind) value
        set node($to,value) $node($from,value)
    }
    foreach type {i j} {
        foreach child $node($from,$type) {
            copy $child [newChild $to $type $node($child,name)]
        }
    }
}

# Whether `id` is `top` or lies below it.
proc ::model::within {id top} {
    variable node
    while {$id ne ""} {
        if {$id == $top} {return 1}
        set id $node($id,parent)
    }
    return 0
}

# The steps, on the model. Each returns 1 for success, 0 for an error.
proc ::model::op {verb args} {
    variable node
    switch -- $verb {
        create { walk [lindex $args 0] create; return 1 }
        set {
            lassign $args pairs value
            set id [walk $pairs create]
            set node($id,kind) value
            set node($id,value) $value
            return 1
        }
        write {
            lassign $args pairs value
            set id [walk $pairs find]
            if {$id eq "" || $node($id,kind) ni {value unset}} {return 0}
            set node($id,kind) value
            set node($id,value) $value
            return 1
        }
        unset {
            set id [walk [lindex $args 0] find]
            if {$id eq "" || $node($id,kind) ne "value"} {return 0}
            set node($id,kind) unset
            return 1
        }
        rm {
            set id [walk [lindex $args 0] find]
            if {$id eq ""} {return 0}
            unlink $id
            free $id
            return 1
        }
        cp - ln - mv {
            lassign $args source dest
            set from [walk $source find]
            if {$from eq ""} {return 0}
            if {$dest ne "" && [walk $dest find] ne ""} {return 0}
            switch -- $verb {
                cp {
                    if {$dest eq ""} {return 0}
                    set landing [walk $dest probe]
                    if {[copyCheck $from $landing] ne ""} {return 0}
                    copy $from [walk $dest create]
                }
                ln {
                    if {$dest eq ""} {return 0}
                    set to [walk $dest create]
                    set node($to,kind) link
                    set node($to,target) $from
                }
                mv {
                    set index [unlink $from]
                    if {$dest eq ""} {
                        free $from
                        return 1
                    }
                    set landing [walk $dest probe]
                    if {[within $landing $from]} {
                        relink $from $index
                        return 0
                    }
                    set to [walk $dest create]
                    foreach field {kind value target i j} {
                        set node($to,$field) $node($from,$field)
                    }
                    foreach type {i j} {
                        foreach child $node($to,$type) {set node($child,parent) $to}
                    }
                    set node($from,i) {}
                    set node($from,j) {}
                    free $from
                }
            }
            return 1
        }
    }
}

# Queries, on the model.
proc ::model::exists {pairs} {
    expr {[walk $pairs find] ne ""}
}

# The value read as a variable, as {code value}.
proc ::model::read {pairs} {
    variable node
    set id [walk $pairs find]
    if {$id eq "" || $node($id,kind) ne "value"} {return {1 {}}}
    return [list 0 $node($id,value)]
}

proc ::model::children {pairs type} {
    variable node
    set id [walk $pairs find]
    if {$id eq ""} {return {1 {}}}
    set names ""
    foreach child $node($id,$type) {append names $node($child,name) " "}
    return [list 0 $names]
}

proc ::model::export {id} {
    variable node
    set text ""
    foreach type {i j} {
        foreach child $node($id,$type) {
            set group [list $type $node($child,name)]
            if {$node($child,kind) eq "value"} {lappend group $node($child,value)}
            append text "\n\{$group\}"
            set below [export $child]
            if {$below ne ""} {append text "\n<$below\n>"}
        }
    }
    return $text
}

# Every live node's address (below /m), as separator and name pairs, found
# through the child lists (links not followed).
proc ::model::addresses {{id 0} {prefix {}}} {
    variable node
    set all {}
    foreach type {i j} {
        foreach child $node($id,$type) {
            set pairs [concat $prefix [list [expr {$type eq "i" ? "/" : "."}] $node($child,name)]]
            lappend all $pairs
            lappend all {*}[addresses $child $pairs]
        }
    }
    return $all
}

proc ::model::count {} {
    variable alive
    array size alive
}

proc ::model::text {pairs} {
    variable top
    return $top[join $pairs ""]
}

# --- The same steps on the store ---------------------------------------------

namespace eval ::store {}

proc ::store::op {verb args} {
    set a [model::text [lindex $args 0]]
    switch -- $verb {
        create { tree create $a; return 1 }
        set { return [expr {![catch {tree set $a [lindex $args 1]}]}] }
        write { return [expr {![catch {set $a [lindex $args 1]}]}] }
        unset { return [expr {![catch {unset $a}]}] }
        rm { return [expr {![catch {tree rm $a}]}] }
        cp - ln - mv {
            set dest [lindex $args 1]
            set d [expr {$dest eq "" ? "" : [model::text $dest]}]
            return [expr {![catch {tree $verb $a $d}]}]
        }
    }
}

proc ::store::read {pairs} {
    set code [catch {set [model::text $pairs]} value]
    if {$code} {set value {}}
    return [list $code $value]
}

proc ::store::children {pairs type} {
    set a [model::text $pairs]
    if {$type eq "i"} {append a /}
    set code [catch {tree children $a} names]
    if {$code} {set names {}}
    return [list $code $names]
}

# --- Steps and checks ------------------------------------------------------

namespace eval ::check {}
proc ::check::mismatch {what expected actual} {
    puts stderr "MISMATCH $what\n  model: [string range $expected 0 2000]\n  store: [string range $actual 0 2000]"
    exit 1
}

proc ::check::same {what expected actual} {
    if {$expected ne $actual} {mismatch $what $expected $actual}
}

proc ::check::all {baseNodes} {
    foreach pairs [model::addresses] {
        set a [model::text $pairs]
        same "tree exists $a" [model::exists $pairs] [tree exists $a]
        same "set $a" [model::read $pairs] [store::read $pairs]
        same "tree children $a/" [model::children $pairs i] [store::children $pairs i]
        same "tree children $a" [model::children $pairs j] [store::children $pairs j]
    }
    same "qenutil export /m" [model::export 0] [qenutil export /m]
    same "qenutil nodes" [expr {$baseNodes + [model::count]}] [qenutil nodes]
}

proc ::check::step {step baseNodes} {
    set expected [model::op {*}$step]
    set actual [store::op {*}$step]
    same "outcome of $step" $expected $actual
    all $baseNodes
}

# A random address below /m: one to three names over few letters.
proc ::check::randomAddress {} {
    set pairs {}
    for {set depth [expr {1 + [fz::gen::rand 3]}]} {$depth > 0} {incr depth -1} {
        lappend pairs [fz::gen::pick {/ / .}] [fz::gen::pick {a b c}]
    }
    return $pairs
}

proc ::check::randomStep {} {
    set a [randomAddress]
    set verb [fz::gen::pick {create set set write unset rm rm cp cp ln ln mv mv}]
    switch -- $verb {
        set - write { return [list $verb $a [fz::gen::pick {1 {x y} {} \{ 2.5}]] }
        cp - ln - mv {
            set dest [expr {[fz::gen::chance 10] ? "" : [randomAddress]}]
            return [list $verb $a $dest]
        }
        default { return [list $verb $a] }
    }
}

proc ::check::begin {} {
    catch {tree rm /m}
    tree create /m
    model::reset
    return [expr {[qenutil nodes] - 1}]
}

lassign $argv mode
switch -- $mode {
    run {
        lassign $argv mode seed count logFile
        set log [fz::openLog $logFile "# model seed $seed, $count steps"]
        fz::gen::seed $seed
        set base [check::begin]
        for {set i 0} {$i < $count} {incr i} {
            # Start again from an empty /m now and then, so that the tree
            # stays small and the checks quick.
            if {[model::count] > 150} {
                foreach top {a b c} {
                    fz::logStep $log $i [list rm [list / $top]]
                    check::step [list rm [list / $top]] $base
                }
            }
            set step [check::randomStep]
            fz::logStep $log $i $step
            check::step $step $base
        }
        close $log
    }
    replay {
        lassign $argv mode logFile
        set base [check::begin]
        foreach step [fz::readLog $logFile] {
            if {[info exists ::env(KELB_FUZZ_VERBOSE)]} {puts stderr $step}
            check::step $step $base
        }
    }
    default {
        puts stderr "usage: model.tcl run SEED STEPS LOG | replay LOG"
        exit 2
    }
}
exit 0

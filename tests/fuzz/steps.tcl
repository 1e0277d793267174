# steps.tcl --
#
#     The step generator of the fuzz driver. A step is a short Tcl script
#     drawn from the seeded generator alone, never from what earlier steps
#     did, so that a seed always yields the same steps and a logged step
#     can be replayed or dropped on its own. What a step works on at run
#     time (the last pid, a live child interpreter, an open channel) it
#     finds through the helpers of hostile.tcl.

namespace eval ::fz::gen {
    variable state 1
    variable names {a b c d}
}

# Seeds the generator (a 64-bit linear congruential generator; its
# sequence is the same in every Tcl, unlike "rand").
proc ::fz::gen::seed {n} {
    variable state
    set state [expr {($n * 2862933555777941757 + 3037000493) & 0xFFFFFFFFFFFFFFFF}]
}

# A number from 0 to n - 1.
proc ::fz::gen::rand {n} {
    variable state
    set state [expr {($state * 6364136223846793005 + 1442695040888963407) & 0xFFFFFFFFFFFFFFFF}]
    return [expr {($state >> 33) % $n}]
}

proc ::fz::gen::pick {list} {
    lindex $list [rand [llength $list]]
}

# True one time in n.
proc ::fz::gen::chance {n} {
    expr {[rand $n] == 0}
}

# An address: mostly a short path over few names, so that steps meet the
# same nodes often; sometimes a hostile address or a node identity.
proc ::fz::gen::path {} {
    variable names
    switch [rand 10] {
        0 { return "\[fz::addr [rand 1000]\]" }
        1 { return "\[fz::record [plainPath]\]" }
        default { return [plainPath] }
    }
}

proc ::fz::gen::plainPath {} {
    variable names
    set path /[pick $names]
    for {set depth [rand 4]} {$depth > 0} {incr depth -1} {
        append path [pick {/ / .}] [pick $names]
    }
    return $path
}

# A value for a node or an operand: a plain word or number, or a hostile
# value.
proc ::fz::gen::value {} {
    switch [rand 6] {
        0 - 1 { return "\[fz::val [rand 1000]\]" }
        2 { return [rand 100] }
        3 { return [list [pick {x {a b} {1 2 3} {{1 2} {3 4}} -1.5 {}}]] }
        default { return [matrixText] }
    }
}

# A small random matrix written out as text.
proc ::fz::gen::matrixText {} {
    set rows [expr {1 + [rand 4]}]
    set cols [expr {1 + [rand 4]}]
    set m {}
    for {set r 0} {$r < $rows} {incr r} {
        set row {}
        for {set c 0} {$c < $cols} {incr c} {
            lappend row [expr {[rand 19] - 9}]
        }
        lappend m $row
    }
    if {$cols == 1} {return [list [join $m]]}
    if {$rows == 1} {return [list [lindex $m 0]]}
    return [list $m]
}

# A script that the steps install as a process body, trace action or
# deferred event: actions that pull the ground from under whoever runs it.
proc ::fz::gen::action {} {
    set a [plainPath]
    set b [plainPath]
    return [pick [list \
        "tree rm $a" \
        "tree mv $a $b" \
        "tree cp $a $b" \
        "tree ln $a $b" \
        "tree mv $a {}" \
        "tree set $a [rand 9]" \
        "set $a [rand 9]" \
        "unset $a" \
        "process kill \[fz::lastpid\]" \
        "process stop \[fz::lastpid\]" \
        "process kill 0" \
        "incr ::fz::ticks" \
        "update" \
        "fz::pump [rand 4]" \
        "fz::resume [rand 5]" \
        "error boom" \
        "return -code break" \
        "rename ::fz::gone {}" \
        "set /env.runtime [rand 100]" \
        "tree rm /env" \
        "process create {incr ::fz::ticks}" \
        "interp delete \[fz::kid [rand 5]\]" \
        "interp delete \[fz::child\]" \
        "kelbtest_update [plainPath]" \
    ]]
}

# One step: a script of one kind, drawn with the kinds' weights.
proc ::fz::gen::step {} {
    variable kinds
    set total 0
    foreach {kind weight} $kinds {incr total $weight}
    set r [rand $total]
    foreach {kind weight} $kinds {
        if {$r < $weight} {return [$kind]}
        incr r -$weight
    }
}

set ::fz::gen::kinds {
    treeStep 14 qenutilStep 6 variableStep 10 traceStep 6 procStep 4
    mathStep 12 matrixStep 5 processStep 10 eventStep 6 interpStep 2
    renameStep 2 coroutineStep 3 libraryStep 6 deviceStep 5
    runtimeStep 3 argsStep 5 linkStep 4
}

proc ::fz::gen::catchEach {args} {
    join [lmap command $args {list catch $command}] "; "
}

proc ::fz::gen::treeStep {} {
    set sub [pick {create set parent parenttype children exists rm cp ln mv tail
                   c s pa ch e r x}]
    set words [list [pick {tree tree tree qen}] $sub]
    switch -glob -- $sub {
        s - set { lappend words [path] [value] }
        cp - ln - mv { lappend words [path] [pick [list [path] [path] "{}" [path]/]] }
        children - ch { lappend words [pick [list [path] [path]/ /]] }
        default { lappend words [path] }
    }
    if {[chance 8]} {lappend words [pick {-force -recurse extra}]}
    if {[chance 12]} {set words [lrange $words 0 [rand [llength $words]]]}
    return [catchEach [join $words]]
}

proc ::fz::gen::qenutilStep {} {
    set sub [pick {export import nexttoken split nodes record address bogus e}]
    set words [list qenutil $sub]
    switch -- $sub {
        export - e {
            lappend words [path]
            for {set n [rand 4]} {$n > 0} {incr n -1} {
                lappend words [pick {-ti -tj -ri -rj -t -x {}}]
            }
        }
        nexttoken {
            lappend words [path] [pick {-5 -1 0 1 2 4 100 2147483647 -2147483648
                                        9999999999 {} x}]
        }
        address { lappend words [pick [list "\[fz::record [plainPath]\]" [path] /#0 /#]] }
        default { lappend words [path] }
    }
    if {[chance 10]} {set words [lrange $words 0 [rand [llength $words]]]}
    return [catchEach [join $words]]
}

# Reads and writes of node values as Tcl variables: directly, through
# global and upvar, and as array elements.
proc ::fz::gen::variableStep {} {
    set p [plainPath]
    set v [value]
    return [catchEach [pick [list \
        "set $p" "set $p $v" "incr $p" "append $p $v" "lappend $p $v" \
        "unset $p" "info exists $p" "array set $p {k 1}" "set ${p}(k) 1" \
        "array names $p" "dict set $p k $v" "string length \[set $p\]" \
        "apply {{} {global $p; set $p $v; [action]; set $p}}" \
        "apply {{} {upvar #0 $p v; set v $v; [action]; set v}}" \
        "apply {{} {upvar #0 $p v; [action]; unset v}}" \
        "namespace eval ::fz {set $p $v}" \
    ]]]
}

# A trace on a node variable whose action changes the tree or the
# processes, and an access that fires it.
proc ::fz::gen::traceStep {} {
    set p [plainPath]
    set ops [pick {read write unset {read write unset} {write unset}}]
    set command [list apply [list args [action]]]
    return [catchEach \
        "tree set $p [rand 9]" \
        "trace add variable $p [list $ops] [list $command]" \
        [pick [list "set $p 1" "set $p" "unset $p" "tree set $p 2" "tree rm $p" "incr $p"]]]
}

# A procedure that reaches a node by its literal name, compiled, while an
# action inside it removes or moves the node.
proc ::fz::gen::procStep {} {
    set p [plainPath]
    set body "set $p [rand 9]; catch {[action]}; catch {set $p}; catch {set $p 2}; catch {unset $p}; info exists $p"
    return "proc ::fz::lit {} [list $body]; [catchEach ::fz::lit ::fz::lit]"
}

# A postfix calculation: operands and operators in random order.
proc ::fz::gen::mathStep {} {
    set command [pick {mexpr mexpr vector3 vector2 vexpr vexpr}]
    set words [list $command]
    set operators {+ * *. *x ~ 1/ - / transpose inverse determinate adjoint noop
                   half distance distInvSq length normalize rad2deg deg2rad pi t i d a n 1}
    for {set n [rand 9]} {$n > 0} {incr n -1} {
        lappend words [if {[chance 2]} {pick $operators} else value]
    }
    if {[chance 6]} {
        # The same object again and again: each use sees what the uses
        # before left on it, and must still get the same answer.
        return "set ::fz::w [value]; fz::same $command \$::fz::w; fz::same $command \$::fz::w \$::fz::w +; fz::same $command 0 \$::fz::w [pick {inverse normalize length}]"
    }
    if {[chance 12]} {
        return "set ::fz::w \[string range x[pick {NaN Inf -NaN 1e309}] 1 end\]; fz::same $command \$::fz::w; fz::same $command \$::fz::w"
    }
    if {[chance 3]} {
        return "fz::same [join $words]"
    }
    return [catchEach [join $words]]
}

proc ::fz::gen::matrixStep {} {
    set sub [pick {range length integrate differentiate cramer transform canscale dt set vars r bogus}]
    # Arguments of a workable shape for the subcommand, some of them
    # replaced by hostile values.
    switch -- $sub {
        range - r { set args [list [matrixText] "{[lmap i {1 2 3 4} {expr {[rand 7] - 2}}]}"] }
        length { set args [list [matrixText]] }
        cramer { set args [list [matrixText] [matrixText]] }
        transform { set args [list [matrixText] "{[rand 360] 0 [rand 90]}" "{1 2 3}"] }
        canscale { set args [list [matrixText] "{10 20}" "{2 -1}"] }
        dt { set args [list [pick {0.5 -1 0 1e308 NaN x}]] }
        default { set args {} }
    }
    set words [list matrix $sub]
    foreach arg $args {lappend words [if {[chance 4]} {value} else {set arg}]}
    if {[chance 8]} {lappend words [value]}
    if {[chance 8]} {set words [lrange $words 0 [rand [llength $words]]]}
    return [catchEach [join $words]]
}

proc ::fz::gen::processStep {} {
    set script [action]
    switch [rand 12] {
        0 {
            # A process that kills itself on its first run.
            return "set p \[fz::spawn {}\]; [catchEach {process configure $p -command [list process kill $p] -period 0} {process start $p} {fz::pump 3}]"
        }
        1 {
            return "set p \[fz::spawn [list $script] -period [pick {0 1000 100000}]\]; [catchEach {process start $p} "fz::pump [rand 5]"]"
        }
        2 {
            return [catchEach "fz::spawn [list $script] [pick {-period -frequency -description -command -bogus}] [value]"]
        }
        3 {
            return [catchEach "process configure \[fz::lastpid\] [pick {-period -frequency -description -command}]"]
        }
        4 { return [catchEach "process configure \[fz::lastpid\] -description [value]"] }
        5 { return [catchEach "process configure \[fz::lastpid\] -period [value] -frequency [value]"] }
        6 { return [catchEach "process [pick {start stop kill reset stats configure}] [pick {0 -1 999999 2147483647 {[fz::val 7]} {[fz::lastpid]} {[fz::lastpid]}}]"] }
        7 { return [catchEach "process [pick {jobs ps j p}]"] }
        8 { return [catchEach "process configure \[fz::lastpid\] -command [list $script]" "process start \[fz::lastpid\]"] }
        default {
            return [catchEach "process [pick {start stop kill}] \[fz::lastpid\]" "fz::pump [rand 4]"]
        }
    }
}

proc ::fz::gen::eventStep {} {
    return [catchEach [pick [list \
        update "update idletasks" "fz::pump [rand 10]" \
        "after 0 [list [action]]" "after idle [list [action]]" \
        "after 0 {update; fz::pump 1}" "wait [rand 3]" \
        [vwaitNode] \
        "after [rand 3] {after 2 {set ::fz::flag 1}; vwait ::fz::flag}; fz::pump 5" \
    ]]]
}

# Child interpreters with the package loaded: their own processes, writes
# to the shared tree, deleted commands, and deletion while they run.
proc ::fz::gen::interpStep {} {
    set kid "\[fz::kid [rand 5]\]"
    switch [rand 8] {
        0 { return [catchEach fz::child] }
        1 { return [catchEach "interp delete $kid"] }
        2 { return [catchEach "$kid eval [list [action]]"] }
        3 { return [catchEach "$kid eval {process start \[process create {tree set /a/k 1} -period 0\]}" "fz::pump 2"] }
        4 {
            # A process of the child whose run deletes the child.
            return "set k $kid; [catchEach {$k eval [list apply {{k} {process start [process create [list ::fz::parent interp delete $k] -period 0]}} $k]} {fz::pump 3}]"
        }
        5 { return [catchEach "$kid eval {rename [pick {tree qen qenutil process device mexpr ::kelb::device ::kelb::tree}] {}}"] }
        6 { return [catchEach "interp create -safe fzsafe" "load \$::fz::library Kelb fzsafe" "fzsafe eval {mexpr 1 2 +}" "interp delete fzsafe"] }
        default { return [catchEach "$kid eval {set [plainPath] [rand 9]}" "$kid eval {set [plainPath]}"] }
    }
}

proc ::fz::gen::renameStep {} {
    set command [pick {tree qenutil process mexpr vexpr matrix device ladd get}]
    return [catchEach "rename $command ::fz::renamed" "::fz::renamed" "$command" "rename ::fz::renamed $command"]
}

proc ::fz::gen::coroutineStep {} {
    if {[chance 2]} {
        return [catchEach "fz::resume [rand 5]"]
    }
    set body "yield; catch {[action]}; yield; catch {[action]}; catch {fz::pump 1}"
    return "set c ::fz::co\[incr ::fz::serial\]; [catchEach "coroutine \$c apply [list [list {} $body]]" {lappend ::fz::coroutines $c}]"
}

proc ::fz::gen::libraryStep {} {
    set p [plainPath]
    set v [value]
    return [catchEach [pick [list \
        "ladd $p $v" "lremove $p $v" "lpop $p" "lpop $p /b" "lpush $p $v" "lpeek $p" \
        "lfifo $p [plainPath] [pick {1 2 0 -1 x 100000}]" "get $p" "get [path]" \
        "ldelete $v $v" "kelb::lreverse $v" "kelb::lset $v [list [list $p [plainPath] x]]" \
        "string.to.args $v $v" "wait [pick {0 1 -1 {} x 2.5}]" \
        "ladd" "lpop" "get" \
    ]]]
}

# Ports of the test drivers, opened as channels, fed, read, detached and
# closed while the event loop runs.
proc ::fz::gen::deviceStep {} {
    set port p[rand 3]
    set channel "\[fz::channel [rand 4]\]"
    switch [rand 10] {
        0 { return [catchEach "devicetest register $port [pick {pipe plain busy silent bogus}] [value]"] }
        1 { return [catchEach "devicetest unregister $port"] }
        2 - 3 {
            return "set ch {}; [catchEach "set ch \[device open $port\]"]; [catchEach {fconfigure $ch -blocking 0} {fileevent $ch readable [list fz::drain $ch]} {lappend ::fz::channels $ch}]"
        }
        4 { return [catchEach "devicetest feed $channel [pick {x {} abc}]" "fz::pump 2"] }
        5 { return [catchEach "close $channel"] }
        6 { return [catchEach "devicetest detach $channel"] }
        7 { return [catchEach "device [pick {open names reset type desc o n bogus}] [value]"] }
        8 { return [catchEach "devicetest instances" "devicetest polls" "device names"] }
        default { return [catchEach "fz::pump 2"] }
    }
}

proc ::fz::gen::runtimeStep {} {
    return [catchEach [pick [list \
        "set /env.runtime" "set /env.runtime [value]" "set /env.runtime [rand 1000]" \
        "set /env.runtime 2147483647" \
        "tree set /env.runtime [value]" "unset /env.runtime" \
        "trace add variable /env.runtime write [list [list apply [list args [action]]]]" \
        "tree rm /env" "tree mv /env /a" "tree cp /env /b" "tree ln /env.runtime /c" \
        "process kill 0" "process stop 0" "process start 0" "fz::pump 20" \
    ]]]
}

# Wrong argument counts and options without values, for every command.
proc ::fz::gen::argsStep {} {
    set command [pick {tree qen qenutil mexpr vector3 vector2 vexpr matrix process device
                       ladd ldelete kelb::lreverse kelb::lset lremove lfifo lpop lpush lpeek
                       get wait string.to.args}]
    set words [list $command]
    for {set n [rand 4]} {$n > 0} {incr n -1} {
        lappend words [pick {-period -frequency -description -command -ti -force {} create
                             configure export start 0 /a}]
    }
    return [catchEach [join $words]]
}

# C variables linked to node values (through the test helper), while the
# nodes are replaced, moved and removed, in this and child interpreters.
proc ::fz::gen::linkStep {} {
    set p [plainPath]
    set where [pick [list "" "\[fz::kid [rand 5]\] eval"]]
    return [catchEach "tree set $p [rand 9]" "$where kelbtest_link $p [pick {{} readonly}]" \
        [action] "kelbtest_counter [rand 99]" "kelbtest_update $p" "set $p [value]" \
        [pick [list "kelbtest_unlink $p" "tree rm $p" "tree set $p 1" [action]]]]
}

# vwait on a node variable while deferred scripts act on the node; the
# wait ends when the node is written or its value goes. Nothing here moves
# the node (a moved value would leave the wait waiting for good).
proc ::fz::gen::vwaitNode {} {
    set p [plainPath]
    set acts [list "tree rm $p" "unset $p" "tree set $p 5" "process kill \[fz::lastpid\]" update \
                  "tree cp $p [plainPath]" "tree ln $p [plainPath]" "interp delete \[fz::kid 0\]"]
    return "tree set $p 0; after [rand 3] [list [pick $acts]]; after [rand 4] [list [pick $acts]]; after 8 {catch {set $p 1}}; after 12 {catch {tree set $p 2}}; after 16 {catch {tree rm $p}}; vwait $p"
}

# The last step: how the run ends. Tidily, or leaving processes, child
# interpreters, channels, traces and links for the exit to tear down, or
# with the commands deleted first.
proc ::fz::gen::teardown {} {
    return [pick {
        {foreach pid $::fz::pids {catch {process kill $pid}}; foreach k $::fz::kids {catch {interp delete $k}}; foreach c $::fz::channels {catch {close $c}}}
        {}
        {catch {process start [process create {incr ::fz::ticks} -period 0]}; fz::pump 2}
        {foreach c {process device tree qen qenutil} {catch {rename $c {}}; catch {rename ::kelb::$c {}}}; fz::pump 2}
        {foreach k $::fz::kids {catch {$k eval {process start [process create {update} -period 0]}}}; after 0 {foreach k $::fz::kids {catch {interp delete $k}}}; fz::pump 3}
        {catch {tree rm /env}; catch {tree rm /a}; fz::pump 2}
    }]
}

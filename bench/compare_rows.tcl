# compare_rows.tcl --
#
#     The rows of compare.tcl. Peers: "garray" a global array keyed by the
#     text of the address, "gdict" a dict in a global variable with the
#     same keys, "larray" a procedure's local array with short keys (the
#     flattering case), tcllib's C builds of struct::stack, struct::queue
#     and struct::tree, and hand-written Tcl for the calculators.

compare::peer garray {}
compare::peer gdict {}
compare::peer larray {}
compare::peer tcl {}
compare::peer critcl {
    package require struct::stack
    package require struct::queue
    package require struct::tree
    struct::tree::SwitchTo critcl
    foreach module {stack queue tree} {
        if {[set ::struct::${module}::loaded] ne "critcl"} {error "struct::$module is not the C build"}
    }
}

namespace eval ::compare::rows {
    variable fill {
        kelb   {for {set i 0} {$i < $n} {incr i} {tree set /big/c$i $i}}
        garray {for {set i 0} {$i < $n} {incr i} {set ::A(/big/c$i) $i}}
        gdict  {set ::D {}; for {set i 0} {$i < $n} {incr i} {dict set ::D /big/c$i $i}}
        larray {for {set i 0} {$i < $n} {incr i} {set A(c$i) $i}}
    }
    variable empty {kelb {tree rm /big} garray {unset ::A} gdict {unset ::D} larray {unset A}}
    # Setup: the filled store, and for "again" each node read once as a
    # variable (which makes its variable record).
    proc Flat {bodies {again 0}} {
        variable fill
        variable empty
        set impls {}
        dict for {impl body} $bodies {
            set setup [dict get $fill $impl]
            if {$again && $impl eq "kelb"} {append setup "\nfor {set i 0} {\$i < \$n} {incr i} {set /big/c\$i}"}
            lappend impls $impl [list -setup $setup -body $body -cleanup [dict get $empty $impl]]
        }
        return $impls
    }
    # An address of `levels` names, l0 ... l(levels-1).
    proc Deep {levels} {
        set address ""
        for {set k 0} {$k < $levels} {incr k} {append address /l$k}
        return $address
    }
}

compare::row loop "empty body" -n 1000000 {kelb {-body {}}}
# The cheapest C command is the floor of every command row; "pid" is no
# such floor, as it makes a system call each time.
compare::row loop "C command: tcl::mathfunc::abs" -n 1000000 {kelb {-body {tcl::mathfunc::abs 1}}}
compare::row loop "C command: pid (a system call)" -n 1000000 {kelb {-body {pid}}}

# --- the flat store: 100,000 values under one node ---------------------------
compare::row "flat 100000" create -n 100000 [list \
    kelb   {-body {tree create /big/c$i} -cleanup {tree rm /big}} \
    garray {-body {set ::A(/big/c$i) {}} -cleanup {unset ::A}} \
    gdict  {-setup {set ::D {}} -body {dict set ::D /big/c$i {}} -cleanup {unset ::D}} \
    larray {-body {set A(c$i) {}}}]
compare::row "flat 100000" "set (tree set)" -n 100000 [compare::rows::Flat {
    kelb   {tree set /big/c$i $i}
    garray {set ::A(/big/c$i) $i}
    gdict  {dict set ::D /big/c$i $i}
    larray {set A(c$i) $i}}]
compare::row "flat 100000" "set as variable" -n 100000 [compare::rows::Flat {
    kelb   {set /big/c$i $i}
    garray {set ::A(/big/c$i) $i}
    gdict  {dict set ::D /big/c$i $i}
    larray {set A(c$i) $i}} 1]
compare::row "flat 100000" "read again" -n 100000 [compare::rows::Flat {
    kelb   {set /big/c$i}
    garray {set ::A(/big/c$i)}
    gdict  {dict get $::D /big/c$i}
    larray {set A(c$i)}} 1]
compare::row "flat 100000" "first read as variable" -n 100000 [compare::rows::Flat {
    kelb   {set /big/c$i}
    garray {set ::A(/big/c$i)}}]
compare::row "flat 100000" "remove one by one" -n 100000 [compare::rows::Flat {
    kelb   {tree rm /big/c$i}
    garray {unset ::A(/big/c$i)}
    gdict  {dict unset ::D /big/c$i}}]
compare::row "flat 100000" "remove all (per node)" -n 100000 -ops n [compare::rows::Flat {
    kelb   {tree rm /big; tree create /big}
    garray {unset ::A; set ::A(x) {}}
    gdict  {unset ::D; set ::D {}}}]

# --- the first read of a node as a variable in a large store -----------------
foreach {count huge} {1000000 0 10000000 1} {
    compare::row "first read" "at $count nodes" -n $count -huge $huge [compare::rows::Flat {
        kelb   {set /big/c$i}
        garray {set ::A(/big/c$i)}}]
}

# --- deep addresses: one address used again and again ------------------------
foreach levels {2 50} {
    set address [compare::rows::Deep $levels]
    set prefix [compare::rows::Deep [expr {$levels - 1}]]
    set last l[expr {$levels - 1}]
    set kelbDef [list -setup "tree set $address 0; set name $address; set p $prefix" -cleanup "tree rm /l0"]
    set arrayDef [list -setup "set ::A($address) 0; set name $address; set p $prefix" -cleanup "unset ::A"]
    compare::row deep "$levels levels: set, literal" -n 100000 [list \
        kelb   [dict merge $kelbDef [list -body "tree set $address \$i"]] \
        garray [dict merge $arrayDef [list -body "set ::A($address) \$i"]]]
    compare::row deep "$levels levels: set, fresh string" -n 100000 [list \
        kelb   [dict merge $kelbDef [list -body "tree set \$p/$last \$i"]] \
        garray [dict merge $arrayDef [list -body "set ::A(\$p/$last) \$i"]]]
    compare::row deep "$levels levels: exists, literal" -n 100000 [list \
        kelb   [dict merge $kelbDef [list -body "tree exists $address"]] \
        garray [dict merge $arrayDef [list -body "info exists ::A($address)"]]]
    compare::row deep "$levels levels: read by name" -n 100000 [list \
        kelb   [dict merge $kelbDef [list -body {set $name}]] \
        garray [dict merge $arrayDef [list -body {set ::A($name)}]]]
}

# --- the list commands where stacks and queues live ----------------------------
foreach {where var setup} {
    local     s         {set s {}}
    global    ::s       {set ::s {}}
    namespace ::stk::s  {namespace eval ::stk {variable s {}}}
} {
    compare::row "list commands" "stack, $where" -n 100000 [list \
        kelb   [list -setup $setup -body "lpush $var \$i; lpop $var"] \
        critcl {-setup {set st [struct::stack]} -body {$st push $i; $st pop} -cleanup {$st destroy}}]
    compare::row "list commands" "queue, $where" -n 100000 [list \
        kelb   [list -setup $setup -body "lpush $var \$i; lfifo $var line"] \
        critcl {-setup {set qu [struct::queue]} -body {$qu put $i; $qu get} -cleanup {$qu destroy}}]
}

# --- struct::tree ------------------------------------------------------------------
compare::row struct::tree create -n 100000 {
    kelb   {-body {tree create /big/c$i} -cleanup {tree rm /big}}
    critcl {-setup {set t [struct::tree]} -body {$t insert root end c$i} -cleanup {$t destroy}}
}
compare::row struct::tree set -n 100000 {
    kelb   {-setup {for {set i 0} {$i < $n} {incr i} {tree create /big/c$i}}
            -body {tree set /big/c$i $i} -cleanup {tree rm /big}}
    critcl {-setup {set t [struct::tree]; for {set i 0} {$i < $n} {incr i} {$t insert root end c$i}}
            -body {$t set c$i v $i} -cleanup {$t destroy}}
}
compare::row struct::tree read -n 100000 {
    kelb   {-setup {for {set i 0} {$i < $n} {incr i} {tree set /big/c$i $i; set /big/c$i}}
            -body {set /big/c$i} -cleanup {tree rm /big}}
    critcl {-setup {set t [struct::tree]; for {set i 0} {$i < $n} {incr i} {$t insert root end c$i; $t set c$i v $i}}
            -body {$t get c$i v} -cleanup {$t destroy}}
}

# --- the calculators against hand-written Tcl ----------------------------------
set matrices {
    set A {{2.0 1.0 0.5} {1.0 3.0 0.25} {0.5 0.25 4.0}}
    set B {{1.0 0.0 2.0} {2.0 1.0 0.0} {0.0 3.0 1.0}}
}
compare::row calculators "mexpr 3x3 product" -n 20000 [list \
    kelb [list -setup $matrices -body {mexpr $A $B *.}] \
    tcl  [list -setup $matrices -body {
        lassign $B b0 b1 b2
        lmap row $A {
            lassign $row x y z
            list [expr {$x*[lindex $b0 0] + $y*[lindex $b1 0] + $z*[lindex $b2 0]}] \
                 [expr {$x*[lindex $b0 1] + $y*[lindex $b1 1] + $z*[lindex $b2 1]}] \
                 [expr {$x*[lindex $b0 2] + $y*[lindex $b1 2] + $z*[lindex $b2 2]}]
        }}]]
compare::row calculators "mexpr 3x3 determinant" -n 20000 [list \
    kelb [list -setup $matrices -body {mexpr $A determinate}] \
    tcl  [list -setup $matrices -body {
        lassign $A r0 r1 r2
        lassign $r0 a b c; lassign $r1 d e f; lassign $r2 g h k
        expr {$a*($e*$k - $f*$h) - $b*($d*$k - $f*$g) + $c*($d*$h - $e*$g)}}]]
compare::row calculators "mexpr 3x3 transpose" -n 20000 [list \
    kelb [list -setup $matrices -body {mexpr 0 $A transpose}] \
    tcl  [list -setup $matrices -body {
        lassign $A r0 r1 r2
        list [list [lindex $r0 0] [lindex $r1 0] [lindex $r2 0]] \
             [list [lindex $r0 1] [lindex $r1 1] [lindex $r2 1]] \
             [list [lindex $r0 2] [lindex $r1 2] [lindex $r2 2]]}]]
compare::row calculators "mexpr 3x3 sum" -n 20000 [list \
    kelb [list -setup $matrices -body {mexpr $A $B +}] \
    tcl  [list -setup $matrices -body {lmap ra $A rb $B {lmap x $ra y $rb {expr {$x + $y}}}}]]
compare::row calculators "vexpr cross product" -n 20000 {
    kelb {-setup {set u {1.0 2.0 3.0}; set v {4.0 5.0 6.0}} -body {vexpr $u $v *x}}
    tcl  {-setup {set u {1.0 2.0 3.0}; set v {4.0 5.0 6.0}} -body {
        lassign $u a b c; lassign $v d e f
        list [expr {$b*$f - $c*$e}] [expr {$c*$d - $a*$f}] [expr {$a*$e - $b*$d}]}}
}
unset matrices kelbDef arrayDef address prefix last levels count huge where var setup

# --- memory: fresh processes, resident bytes per item --------------------------
namespace eval ::compare::memory {
    # label count {implementation script ...}; each script runs at global
    # level in a fresh process after the library is loaded (and tcllib
    # where it is needed).
    variable cases {
        "node read as variable (1000 x 1000)" 1001000 {
            kelb {for {set i 0} {$i < 1000} {incr i} {
                tree set /m/a$i $i; set /m/a$i
                for {set j 0} {$j < 1000} {incr j} {tree set /m/a$i/b$j $j; set /m/a$i/b$j}}}
            garray {for {set i 0} {$i < 1000} {incr i} {
                set ::A(/m/a$i) $i
                for {set j 0} {$j < 1000} {incr j} {set ::A(/m/a$i/b$j) $j}}}
        }
        "started process vs pending after" 100000 {
            kelb {for {set i 0} {$i < 100000} {incr i} {
                process start [process create {incr ::runs} -period 3600000000]}}
            after {for {set i 0} {$i < 100000} {incr i} {after 3600000 {incr ::runs}}}
        }
    }
}

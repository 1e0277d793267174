# mqtt_broker.tcl --
#
#     A private MQTT broker for one test file: mosquitto on 127.0.0.1 at
#     free ports, with an anonymous listener, one that wants a password,
#     and a TLS listener whose certificates are made here with openssl.
#     A watchdog ends the broker when the test process goes, however it
#     goes, so nothing is left running.

namespace eval ::mqttbroker {
    variable dir ""
    variable pid ""
    variable ports {}
    variable binary [lindex [concat [auto_execok mosquitto] [auto_execok /usr/sbin/mosquitto]] 0]
}

proc ::mqttbroker::available {} {
    variable binary
    expr {$binary ne "" && [auto_execok openssl] ne "" && [auto_execok mosquitto_passwd] ne ""}
}

proc ::mqttbroker::freePort {} {
    set server [socket -server {apply {args {}}} -myaddr 127.0.0.1 0]
    set port [lindex [fconfigure $server -sockname] 2]
    close $server
    return $port
}

# A CA, a server certificate for 127.0.0.1 signed by it, a client
# certificate signed by it, and a second CA that signed nothing here.
proc ::mqttbroker::makeCertificates {} {
    variable dir
    set ec {-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes}
    foreach ca {ca otherca} {
        exec openssl req -x509 {*}$ec -keyout $dir/$ca.key -out $dir/$ca.crt -days 2 \
            -subj /CN=kelb-test-$ca 2>@1
    }
    set ext $dir/san.ext
    set f [open $ext w]; puts $f "subjectAltName=IP:127.0.0.1"; close $f
    foreach {name cn} {server 127.0.0.1 client kelb-client} {
        exec openssl req {*}$ec -keyout $dir/$name.key -out $dir/$name.csr -subj /CN=$cn 2>@1
        exec openssl x509 -req -in $dir/$name.csr -CA $dir/ca.crt -CAkey $dir/ca.key \
            -CAcreateserial -out $dir/$name.crt -days 2 -extfile $ext 2>@1
    }
}

proc ::mqttbroker::start {} {
    variable dir
    variable ports
    if {$dir eq ""} {
        set dir [file normalize [file join [::tcltest::temporaryDirectory] mqttbroker[pid]]]
        file mkdir $dir
        makeCertificates
        exec mosquitto_passwd -c -b $dir/passwords kelb secret 2>@1
        file attributes $dir/passwords -permissions 0600
        dict set ports plain [freePort]
        dict set ports auth [freePort]
        dict set ports tls [freePort]
        set f [open $dir/broker.conf w]
        # Run as root, the broker would drop to a user that cannot read
        # these files: it stays who we are.
        puts $f "user [exec id -un]"
        puts $f [string map [list @DIR@ $dir @PLAIN@ [dict get $ports plain] \
                @AUTH@ [dict get $ports auth] @TLS@ [dict get $ports tls]] {
per_listener_settings true
persistence false
max_queued_messages 1000000
max_inflight_messages 0
listener @PLAIN@ 127.0.0.1
allow_anonymous true
listener @AUTH@ 127.0.0.1
allow_anonymous false
password_file @DIR@/passwords
listener @TLS@ 127.0.0.1
allow_anonymous true
cafile @DIR@/ca.crt
certfile @DIR@/server.crt
keyfile @DIR@/server.key
}]
        close $f
    }
    launch
}

proc ::mqttbroker::launch {} {
    variable dir
    variable pid
    variable binary
    variable ports
    set pid [exec $binary -c $dir/broker.conf >& $dir/broker.log &]
    # The watchdog: when this process is gone, so is the broker.
    exec sh -c "while kill -0 [pid] 2>/dev/null && kill -0 $pid 2>/dev/null; do sleep 1; done; kill $pid 2>/dev/null" &
    set deadline [expr {[clock milliseconds] + 5000}]
    while {[clock milliseconds] < $deadline} {
        if {![catch {socket 127.0.0.1 [dict get $ports plain]} probe]} {
            close $probe
            return
        }
        after 20
    }
    error "the test broker did not start: [readLog]"
}

proc ::mqttbroker::readLog {} {
    variable dir
    set f [open $dir/broker.log]; set text [read $f]; close $f
    return $text
}

# Kills the broker at once (no goodbye to its clients).
proc ::mqttbroker::kill {} {
    variable pid
    if {$pid eq ""} return
    variable ports
    catch {exec kill -9 $pid}
    set pid ""
    # Gone once its port refuses connections.
    for {set i 0} {$i < 200} {incr i} {
        if {[catch {socket 127.0.0.1 [dict get $ports plain]} probe]} return
        close $probe
        after 10
    }
}

proc ::mqttbroker::stop {} {
    variable dir
    kill
    if {$dir ne ""} {file delete -force $dir}
    set dir ""
}

proc ::mqttbroker::port {which} {
    variable ports
    dict get $ports $which
}

proc ::mqttbroker::path {name} {
    variable dir
    file join $dir $name
}

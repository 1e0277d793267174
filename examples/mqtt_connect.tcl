# mqtt_connect.tcl --
#
#     Shared by the MQTT example's station and panel: reads the options
#     "?-library path? ?-host h? ?-port n?", loads Kelb (from the given
#     library, or through "package require") and Kelb::mqtt, and connects.
#     Extra connect options follow the words.

proc mqttExampleConnect {words args} {
    set options [dict merge {-library {} -host 127.0.0.1 -port 1883} $words]
    set library [dict get $options -library]
    if {$library ne ""} {
        uplevel #0 [list load $library Kelb]
        lappend ::auto_path [file dirname [file normalize $library]]
    }
    package require Kelb
    package require Kelb::mqtt
    kelb::mqtt::connect -host [dict get $options -host] -port [dict get $options -port] \
        -timeout 10000 {*}$args
}

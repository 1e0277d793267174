# mqtt_station.tcl --
#
#     A simulated station: a tank whose level and temperature move every
#     100 ms, published under /station through an MQTT broker; it takes
#     its heater setpoint from /control, which a panel writes.
#         tclsh examples/mqtt_station.tcl ?-library path? ?-port n? ?-host h?
#     Without -library the packages come through "package require".

source [file join [file dirname [info script]] mqtt_connect.tcl]
set c [mqttExampleConnect $argv -clientid station[pid] -statustopic kelbdemo/status/station]
tree set /station/tank.level 50.0
tree set /station/tank.temp 20.0
tree set /station/ticks 0
tree set /control/setpoint 20
$c publish /station -topic kelbdemo/station
$c subscribe /control -topic kelbdemo/control

# A process of the scheduler moves the tank; its writes are ordinary
# variable writes, which the bridge publishes.
process start [process create {
    set /station/tank.level [format %.1f [expr {50 + 40 * sin([set /station/ticks] / 20.0)}]]
    set t [set /station/tank.temp]
    set /station/tank.temp [format %.1f [expr {$t + ([set /control/setpoint] - $t) * 0.2}]]
    tree set /station/target [set /control/setpoint]
    incr /station/ticks
} -period 100000]
vwait forever

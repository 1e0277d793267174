// serial_line.h --
//
//     The few things the serial driver does to a terminal itself, in plain
//     POSIX: opening it for this process alone, giving it the raw line
//     settings Tcl's own "open" gives a terminal, and pulsing its modem
//     lines. Everything else (speed, handshake, modem lines on demand) is
//     left to Tcl's serial channel.

#pragma once

#include <string>

namespace kelb::serial {

// Opens path for reading and writing without making it the controlling
// terminal and without waiting for carrier. Fails (-1, with a POSIX error
// number in *errorCode) when it is no terminal (ENOTTY) or another open
// file holds its lock (EBUSY). On success the descriptor is blocking,
// holds an exclusive flock, and the terminal is in exclusive mode
// (TIOCEXCL), so that other programs' opens fail with EBUSY (root's
// excepted, which only the lock stops).
int SerialOpenExclusive(const char *path, int *errorCode);

// Ends exclusive mode before the descriptor closes, so that the next
// open, by any program, is not refused.
void SerialReleaseExclusive(int fd);

// Raw input and output, 8 bits, reads that return as soon as a byte is
// there: the settings Tcl's "open" applies to a terminal.
void SerialMakeRaw(int fd);

// Drops DTR and RTS for pulseMillis and raises them again: the reset
// line of many boards. Returns 0, or a POSIX error number when the
// terminal has no modem lines (a pseudo-terminal).
int SerialPulseModemLines(int fd, int pulseMillis);

// Makes a pseudo-terminal pair: returns the far end's descriptor, in raw
// mode, and stores the path of the near end, which nobody holds open yet,
// in *path. -1 with a POSIX error number in *errorCode on failure.
int SerialOpenPseudoTerminal(std::string *path, int *errorCode);

}  // namespace kelb::serial

// serial_line.cpp --
//
//     Terminal operations of the serial driver.

#include "serial/serial_line.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace kelb::serial {

namespace {

int Fail(int fd, int error, int *errorCode) {
    if (fd >= 0) close(fd);
    *errorCode = error;
    return -1;
}

}  // namespace

// The lock is taken before any setting changes, so that a port another
// program holds keeps its settings.
int SerialOpenExclusive(const char *path, int *errorCode) {
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(-1, errno, errorCode);
    if (!isatty(fd)) return Fail(fd, ENOTTY, errorCode);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return Fail(fd, errno == EWOULDBLOCK ? EBUSY : errno, errorCode);
    }
    (void)ioctl(fd, TIOCEXCL);
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        int error = errno;
        SerialReleaseExclusive(fd);
        return Fail(fd, error, errorCode);
    }
    return fd;
}

void SerialReleaseExclusive(int fd) {
    (void)ioctl(fd, TIOCNXCL);
}

void SerialMakeRaw(int fd) {
    termios settings;
    if (tcgetattr(fd, &settings) != 0) return;
    settings.c_iflag = IGNBRK;
    settings.c_oflag = 0;
    settings.c_lflag = 0;
    settings.c_cflag |= CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    (void)tcsetattr(fd, TCSADRAIN, &settings);
}

int SerialPulseModemLines(int fd, int pulseMillis) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIC, &lines) != 0) return errno;
    timespec pause{pulseMillis / 1000, (pulseMillis % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
    return ioctl(fd, TIOCMBIS, &lines) != 0 ? errno : 0;
}

int SerialOpenPseudoTerminal(std::string *path, int *errorCode) {
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return Fail(-1, errno, errorCode);
    char name[128];
    termios settings;
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0 ||
        tcgetattr(fd, &settings) != 0) {
        return Fail(fd, errno, errorCode);
    }
    cfmakeraw(&settings);
    (void)tcsetattr(fd, TCSANOW, &settings);
    *path = name;
    return fd;
}

}  // namespace kelb::serial

// The port on termios: a tty opened exclusively, raw 8N1, modem lines off, reads that never
// wait (VMIN 0, VTIME 0) on a blocking descriptor, so that writes wait until the byte is taken.
// A port that another program holds is refused untouched.
#include "serial/commsport_p.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// A device that keeps sending must not hold DiscardInput forever.
constexpr size_t DiscardLimit = 1 << 20;

bool SpeedFor(int32_t baudRate, speed_t& speed)
{
    struct Rate
    {
        int32_t baud;
        speed_t code;
    };
    static constexpr Rate rates[] = {
        {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
        {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
        {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
        {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
        {460800, B460800},
#endif
#ifdef B921600
        {921600, B921600},
#endif
    };
    for (const Rate& rate : rates) {
        if (rate.baud == baudRate) {
            speed = rate.code;
            return true;
        }
    }
    return false;
}

std::string FileErrorText(int code)
{
    char text[32];
    std::snprintf(text, sizeof text, "File Error %d", code);
    return text;
}

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool Interrupted(ssize_t result)
{
    return result < 0 && errno == EINTR;
}

// Errors that mean the device itself is gone, as when a USB adapter is unplugged.
bool DeviceGoneError(int code)
{
    return code == EIO || code == ENXIO || code == ENODEV || code == EPIPE || code == ECONNRESET;
}

TCommsPort::ErrorKind KindOf(int openError)
{
    switch (openError) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return TCommsPort::ErrorKind::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return TCommsPort::ErrorKind::AccessDenied;
    case EBUSY:
        return TCommsPort::ErrorKind::InUse;
    default:
        return TCommsPort::ErrorKind::Other;
    }
}

// Another program holds the line: it made the tty exclusive (root opens past that mark, so
// it is asked for), or it holds the lock that serial programs take on the device.
bool HeldByAnother(int fd)
{
#ifdef TIOCGEXCL
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        return true;
#endif
    return flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

void NoteDeviceKind(TCommsPort::Platform& backend, int fd)
{
    struct stat status = {};
    backend.DeviceIsTty.store(isatty(fd) == 1, std::memory_order_relaxed);
    backend.DeviceIsSocket.store(fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode),
                                 std::memory_order_relaxed);
}

// Raw 8N1 without flow control, with reads that return at once; the speed is set apart.
termios RawLine()
{
    termios line;
    std::memset(&line, 0, sizeof line);
    cfmakeraw(&line);
    line.c_iflag &= ~(IXON | IXOFF | IXANY);
    line.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
#ifdef CRTSCTS
    line.c_cflag &= ~CRTSCTS;
#endif
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    return line;
}

// Applies the line at the speed and checks that the device took all of it: tcsetattr
// succeeds when any part was taken.
bool SetLine(int fd, termios& line, speed_t speed, int& code)
{
    termios taken = {};
    if (cfsetispeed(&line, speed) != 0 || cfsetospeed(&line, speed) != 0 ||
        tcsetattr(fd, TCSANOW, &line) != 0 || tcgetattr(fd, &taken) != 0) {
        code = errno;
        return false;
    }
    code = EINVAL;
    return cfgetospeed(&taken) == speed && (taken.c_lflag & (ICANON | ECHO | ISIG)) == 0 &&
           (taken.c_oflag & OPOST) == 0 && taken.c_cc[VMIN] == 0 && taken.c_cc[VTIME] == 0;
}

void RestoreLowLatency(TCommsPort::Platform& backend, int fd)
{
#if defined(__linux__) && defined(TIOCGSERIAL)
    serial_struct serial = {};
    if (backend.LowLatencyToUndo && ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags &= ~ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
#else
    (void)fd;
#endif
    backend.LowLatencyToUndo = false;
}

} // namespace

void TCommsPort::OpenNamed(const std::string& devicePath, int32_t baudRate)
{
    // Opened without waiting for carrier; made blocking again below.
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        Handle.store(FailedHandle, std::memory_order_release);
        ErrorHook(KindOf(code), FileErrorText(code), 1, std::strerror(code));
        return;
    }
    if (isatty(fd) != 1) {
        // A swapped argument (a settings file) or a device such as /dev/null: the commands
        // must not be written into it, and its reads would never bring a reply.
        close(fd);
        Handle.store(FailedHandle, std::memory_order_release);
        ErrorHook(ErrorKind::NotSerial, FileErrorText(ENOTTY), 1, std::strerror(ENOTTY));
        return;
    }
    if (HeldByAnother(fd)) {
        // Refused before anything is set or sent: the other program keeps its line as it was.
        close(fd);
        Handle.store(FailedHandle, std::memory_order_release);
        ErrorHook(ErrorKind::InUse, FileErrorText(EBUSY), 1, std::strerror(EBUSY));
        return;
    }
    // No other program may open the device while it is ours (root is not held back; the lock
    // taken above tells the programs that look).
    ioctl(fd, TIOCEXCL);
    NoteDeviceKind(*Backend, fd);
    RequestLowLatency(fd);
    Lost.store(false, std::memory_order_release);
    Handle.store(fd, std::memory_order_release);
    ApplyLineSettings(baudRate);
    if (!HoldsDevice())
        return;
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    // The instrument wants DTR and RTS off. Cleared after the line settings, because a tty
    // raises both when its speed leaves B0. A pseudo-terminal has no modem lines and refuses,
    // which is harmless.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);
}

void TCommsPort::RequestLowLatency(PortHandle handle)
{
    // An FTDI chip holds short replies for its latency timer (16 ms by default); in
    // low-latency mode the driver sets it to 1 ms. Needs no privileges; ptys refuse it. The
    // flag outlives the descriptor, so a flag switched on here is switched off on close.
    LowLatencyResult result = LowLatencyResult::Refused;
    Backend->LowLatencyToUndo = false;
#if defined(__linux__) && defined(TIOCGSERIAL)
    serial_struct serial = {};
    if (ioctl(handle, TIOCGSERIAL, &serial) == 0) {
        const bool wasOn = (serial.flags & ASYNC_LOW_LATENCY) != 0;
        serial.flags |= ASYNC_LOW_LATENCY;
        if (wasOn || ioctl(handle, TIOCSSERIAL, &serial) == 0) {
            result = LowLatencyResult::Granted;
            Backend->LowLatencyToUndo = !wasOn;
        }
    }
#else
    (void)handle;
#endif
    LowLatencyState.store(result);
}

void TCommsPort::ApplyLineSettings(int32_t baudRate)
{
    // Rebuilt from nothing on every open, so no setting of an earlier user survives.
    termios& line = Backend->LineSettings;
    line = RawLine();
    const int fd = Handle.load(std::memory_order_acquire);
    speed_t speed = B0;
    int code = EINVAL;
    if (SpeedFor(baudRate, speed) && SetLine(fd, line, speed, code)) {
        constexpr int64_t BitsPerByte = 10; // start bit, eight data bits, stop bit
        LineByteTimeNs.store(BitsPerByte * 1000000000 / baudRate, std::memory_order_release);
        return;
    }
    ErrorHook(ErrorKind::SettingsRefused, "DCB error", 0, std::strerror(code));
    // The device keeps its old speed, but never its cooked mode: echo would send the replies
    // back, translation would change the commands, and reads would wait.
    termios current = {};
    int ignored = 0;
    if (tcgetattr(fd, &current) == 0 && SetLine(fd, line, cfgetospeed(&current), ignored))
        return;
    if (!Backend->DeviceIsTty.load(std::memory_order_relaxed))
        return; // no terminal, no line settings: its reads look before they take
    // A terminal that cannot be made raw is not usable for the instrument.
    ReleaseHandle();
    Handle.store(FailedHandle, std::memory_order_release);
}

void TCommsPort::ReleaseHandle()
{
    const int fd = Handle.exchange(ClosedHandle, std::memory_order_acq_rel);
    if (!IsDevice(fd))
        return;
    RestoreLowLatency(*Backend, fd);
    // A pseudo-terminal keeps its exclusive mark after the last close; give it back.
    if (Backend->DeviceIsTty.load(std::memory_order_relaxed))
        ioctl(fd, TIOCNXCL);
    close(fd);
    Lost.store(false, std::memory_order_release);
    LineByteTimeNs.store(0, std::memory_order_release);
    Backend->DeviceIsTty.store(false, std::memory_order_relaxed);
    Backend->DeviceIsSocket.store(false, std::memory_order_relaxed);
}

bool TCommsPort::DeviceExists(const std::string& devicePath)
{
    struct stat status = {};
    return stat(devicePath.c_str(), &status) == 0;
}

void TCommsPort::AdoptHandle(PortHandle handle)
{
    ReleaseHandle();
    if (!IsDevice(handle)) {
        Handle.store(handle == FailedHandle ? FailedHandle : ClosedHandle,
                     std::memory_order_release);
        return;
    }
    NoteDeviceKind(*Backend, handle);
    Lost.store(false, std::memory_order_release);
    Handle.store(handle, std::memory_order_release);
}

void TCommsPort::WriteByte(uint8_t value)
{
    const int fd = Handle.load(std::memory_order_acquire);
    if (!IsDevice(fd))
        return;
    // A socket whose peer is gone must not end the program with SIGPIPE.
    const bool socket = Backend->DeviceIsSocket.load(std::memory_order_relaxed);
    for (;;) {
        const ssize_t n = socket ? send(fd, &value, 1, MSG_NOSIGNAL) : write(fd, &value, 1);
        if (n >= 0)
            return;
        if (errno == EINTR)
            continue;
        if (DeviceGoneError(errno))
            MarkLost();
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return; // lost: a failed write is not retried
        // A descriptor taken over in non-blocking mode: wait until it can take the byte.
        pollfd ready = {fd, POLLOUT, 0};
        if (poll(&ready, 1, -1) < 0 && errno != EINTR)
            return;
        if (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            MarkLost();
            return;
        }
    }
}

int32_t TCommsPort::ReadByte(uint8_t* place)
{
    const int fd = Handle.load(std::memory_order_acquire);
    if (!IsDevice(fd))
        return 0;
    ssize_t n = 0;
    const bool socket = Backend->DeviceIsSocket.load(std::memory_order_relaxed);
    if (Backend->DeviceIsTty.load(std::memory_order_relaxed)) {
        do
            n = read(fd, place, 1); // VMIN 0, VTIME 0: returns at once
        while (Interrupted(n));
    } else if (socket) {
        do
            n = recv(fd, place, 1, MSG_DONTWAIT);
        while (Interrupted(n));
        if (n == 0)
            MarkLost(); // the peer has closed its end
    } else {
        // Neither tty nor socket (a pipe): read only what is there, never wait.
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN)) {
            do
                n = read(fd, place, 1);
            while (Interrupted(n));
        }
    }
    if (n < 0 && DeviceGoneError(errno))
        MarkLost();
    return n == 1 ? 1 : 0;
}

TCommsPort::WaitResult TCommsPort::WaitReadable(int timeoutMs)
{
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    const int fd = Handle.load(std::memory_order_acquire);
    if (!IsDevice(fd)) {
        std::this_thread::sleep_until(deadline);
        return WaitResult::Broken;
    }
    for (;;) {
        pollfd ready = {fd, POLLIN, 0};
        const int result = poll(&ready, 1, MillisecondsLeft(deadline));
        if (result < 0 && errno == EINTR)
            continue;
        // A hung-up pty reports itself at once and forever, with POLLIN too, and every read
        // fails: the time-out is slept so that the caller's loop cannot spin.
        if (result < 0 || (ready.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            if (result > 0)
                MarkLost();
            std::this_thread::sleep_until(deadline);
            return WaitResult::Broken;
        }
        if (result > 0 && (ready.revents & POLLIN))
            return WaitResult::Readable;
        if (Clock::now() >= deadline)
            return WaitResult::TimedOut;
    }
}

void TCommsPort::DiscardInput()
{
    const int fd = Handle.load(std::memory_order_acquire);
    if (!IsDevice(fd))
        return;
    if (Backend->DeviceIsTty.load(std::memory_order_relaxed) && tcflush(fd, TCIFLUSH) == 0)
        return;
    // Not a tty: read and drop what is there now, without waiting for more.
    const bool socket = Backend->DeviceIsSocket.load(std::memory_order_relaxed);
    size_t dropped = 0;
    while (dropped < DiscardLimit) {
        pollfd ready = {fd, POLLIN, 0};
        const int result = poll(&ready, 1, 0);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0 || !(ready.revents & POLLIN))
            return;
        char sink[256];
        const ssize_t n =
            socket ? recv(fd, sink, sizeof sink, MSG_DONTWAIT) : read(fd, sink, sizeof sink);
        if (Interrupted(n))
            continue;
        if (n <= 0)
            return;
        dropped += static_cast<size_t>(n);
    }
}

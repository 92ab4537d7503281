#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// The serial line to the instrument. Opens a port by number (or by device path) with fixed
// line settings, writes single bytes, hands out single received bytes without waiting and
// closes. Failures are swallowed: the caller never sees an error from the four operations;
// the last error's kind and diagnostic are kept so that Connect can tell the user why an open
// failed. The platform's own types stay in the backends (commsport_p.h).
class TCommsPort
{
public:
    // The platform's handle: a Win32 HANDLE or a file descriptor.
#ifdef _WIN32
    using PortHandle = void*;
#else
    using PortHandle = int;
#endif
    // What went wrong last; the window words its status text by this.
    enum class ErrorKind
    {
        None,
        NotFound,        // no such device (any more)
        AccessDenied,    // the user may not open it
        InUse,           // another program holds the port; nothing was sent to it
        NotSerial,       // opened, but not a terminal device; nothing was sent to it
        SettingsRefused, // the line settings were not taken
        Lost,            // the device went away while open
        Other,           // anything else: the diagnostic says what
    };
    // What WaitReadable saw.
    enum class WaitResult
    {
        Readable, // a byte can be read now
        TimedOut, // nothing arrived within the time-out
        Broken,   // no device, or the device reports hang-up or error; the time-out was slept
    };

    // The backend's own state: line settings and what it must give back on close.
    struct Platform;

    static constexpr int MaxPortName = 18; // the longest name, 17 characters, and the terminator
#ifdef _WIN32
    static inline const PortHandle ClosedHandle = nullptr;
    // INVALID_HANDLE_VALUE
    static inline const PortHandle FailedHandle = reinterpret_cast<PortHandle>(intptr_t(-1));
#else
    static constexpr PortHandle ClosedHandle = -1;
    static constexpr PortHandle FailedHandle = -2;
#endif

    TCommsPort();
    ~TCommsPort();
    TCommsPort(const TCommsPort&) = delete;
    TCommsPort& operator=(const TCommsPort&) = delete;

    // The four operations.
    void OpenPort(int32_t portNumber, int32_t baudRate);
    void ClosePort();
    void WriteByte(uint8_t value);
    int32_t ReadByte(uint8_t* place);

    // Opens a device given by its path (the --port and simulator options).
    void OpenDevice(const std::string& devicePath, int32_t baudRate);

    // Comms thread only: waits until a byte is readable or timeoutMs passes. Never returns at
    // once on a broken or absent device, so a polling loop cannot spin.
    WaitResult WaitReadable(int timeoutMs);
    // Comms thread only: discards bytes received but not yet read.
    void DiscardInput();

    // Takes over a descriptor that is already open as the port's device, with no line
    // settings applied (socket pairs in tests, where byte timing must be exact).
    void AdoptHandle(PortHandle handle);

    bool HoldsDevice() const;
    bool OpenFailed() const;
    // The device reported that it is gone (hang-up, or an error meaning it was unplugged).
    // Stays set until the port is opened again.
    bool DeviceLost() const
    {
        return Lost.load(std::memory_order_acquire);
    }

    // How long one byte takes on the line at the rate the port was opened with: start bit,
    // eight data bits, stop bit. 0 when not known (an adopted descriptor, or on Windows, whose
    // sleeps are too coarse to wait by the byte).
    int64_t ByteTimeNs() const
    {
        return LineByteTimeNs.load(std::memory_order_acquire);
    }

    // Whether the driver was asked for low-latency delivery when the port was opened.
    enum class LowLatencyResult
    {
        NotAsked,
        Granted,
        Refused, // a pseudo-terminal or a driver without the setting: harmless
    };
    LowLatencyResult LowLatency() const
    {
        return LowLatencyState.load();
    }
    const char* PortName() const
    {
        return PortNameBuffer;
    }

    // Device name of a port number: "COM%d:" / "\\.\COM%d" on Windows, /dev/ttyUSB(n-1) elsewhere.
    static std::string DeviceNameFor(int32_t portNumber);

    // The last diagnostic ("File Error %d", "DCB error") and the system's text for it; both
    // empty after an open without trouble.
    std::string LastDiagnostic() const;
    std::string LastSystemError() const;
    // The kind of the last open's failure, or Lost once the open device has gone away.
    ErrorKind LastErrorKind() const
    {
        return DeviceLost() ? ErrorKind::Lost : OpenError;
    }

    // Whether a device of this name is there now, without opening it.
    static bool DeviceExists(const std::string& devicePath);

protected:
    // Receives every diagnostic; keeps the last one. Shows nothing.
    void ErrorHook(ErrorKind kind, const std::string& text, int isOpenFailure,
                   const std::string& systemText);

    std::atomic<PortHandle> Handle;
    char PortNameBuffer[MaxPortName + 64] = {}; // device paths may be longer than COM names

private:
    // Opens devicePath, already shown in PortNameBuffer; the platform backends.
    void OpenNamed(const std::string& devicePath, int32_t baudRate);
    void ApplyLineSettings(int32_t baudRate);
    void ReleaseHandle();
    void SetPortName(const std::string& name);
    static bool IsDevice(PortHandle handle);
    void ClearError();

    std::unique_ptr<Platform> Backend;

    void MarkLost()
    {
        Lost.store(true, std::memory_order_release);
    }
    void RequestLowLatency(PortHandle handle);

    std::atomic<bool> Lost{false};
    std::atomic<int64_t> LineByteTimeNs{0};
    std::atomic<LowLatencyResult> LowLatencyState{LowLatencyResult::NotAsked};
    ErrorKind OpenError = ErrorKind::None;
    std::string Diagnostic;
    std::string SystemError;
};

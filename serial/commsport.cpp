#include "serial/commsport_p.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

TCommsPort::TCommsPort() : Handle(ClosedHandle), Backend(std::make_unique<Platform>()) {}

// Tests and tools create many ports; each gives its device back when it goes.
TCommsPort::~TCommsPort()
{
    ClosePort();
}

bool TCommsPort::IsDevice(PortHandle handle)
{
    return handle != ClosedHandle && handle != FailedHandle;
}

bool TCommsPort::HoldsDevice() const
{
    return IsDevice(Handle.load(std::memory_order_acquire));
}

bool TCommsPort::OpenFailed() const
{
    return Handle.load(std::memory_order_acquire) == FailedHandle;
}

std::string TCommsPort::DeviceNameFor(int32_t portNumber)
{
    char name[MaxPortName + 16];
#ifdef _WIN32
    if (portNumber < 10)
        std::snprintf(name, sizeof name, "COM%d:", static_cast<int>(portNumber));
    else
        std::snprintf(name, sizeof name, "\\\\.\\COM%d", static_cast<int>(portNumber));
#else
    // The first adapter, ttyUSB0, is port 1, as COM ports count from 1. Widened so that the
    // lowest number cannot overflow.
    std::snprintf(name, sizeof name, "/dev/ttyUSB%lld", static_cast<long long>(portNumber) - 1);
#endif
    return name;
}

void TCommsPort::SetPortName(const std::string& name)
{
    // Only the shown name is cut short; the device itself is opened by its full path.
    const size_t length = std::min(name.size(), sizeof PortNameBuffer - 1);
    std::memcpy(PortNameBuffer, name.data(), length);
    PortNameBuffer[length] = '\0';
}

void TCommsPort::OpenPort(int32_t portNumber, int32_t baudRate)
{
    // Released before the number is looked at: even a refused number leaves the port closed.
    ReleaseHandle();
    ClearError();
    if (portNumber < 0)
        return;
    const std::string name = DeviceNameFor(portNumber);
    SetPortName(name);
    OpenNamed(name, baudRate);
}

void TCommsPort::OpenDevice(const std::string& devicePath, int32_t baudRate)
{
    ReleaseHandle();
    ClearError();
    SetPortName(devicePath);
    OpenNamed(devicePath, baudRate);
}

void TCommsPort::ClosePort()
{
    // A failed open stays failed until the next open; only a held device is released.
    if (HoldsDevice())
        ReleaseHandle();
}

void TCommsPort::ErrorHook(ErrorKind kind, const std::string& text, int isOpenFailure,
                           const std::string& systemText)
{
    // Kept, never shown: Connect may tell the user, the port itself stays silent.
    (void)isOpenFailure;
    OpenError = kind;
    Diagnostic = text;
    SystemError = systemText;
}

void TCommsPort::ClearError()
{
    OpenError = ErrorKind::None;
    Diagnostic.clear();
    SystemError.clear();
}

std::string TCommsPort::LastDiagnostic() const
{
    return Diagnostic;
}

std::string TCommsPort::LastSystemError() const
{
    return SystemError;
}

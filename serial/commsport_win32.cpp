// The port on the Win32 serial interface: the device opened exclusively, 8N1 without flow
// control and with DTR and RTS off, reads that return at once with what has arrived.
// The device is opened for overlapped transfers, so that the comms thread can wait on the
// port itself for the next byte, with a bound, instead of looking at its queue in a loop.
// Reads and writes still finish before they return: they wait for their own completion.
#include "serial/commsport_p.h"
#include "serial/winlinesettings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string FileErrorText(DWORD code)
{
    char text[32];
    std::snprintf(text, sizeof text, "File Error %lu", static_cast<unsigned long>(code));
    return text;
}

std::string SystemText(DWORD code)
{
    char text[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, static_cast<DWORD>(sizeof text), nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
}

// Errors that a USB-serial adapter gives once it has been unplugged.
bool DeviceGoneError(DWORD code)
{
    return code == ERROR_ACCESS_DENIED || code == ERROR_BAD_COMMAND ||
           code == ERROR_DEVICE_NOT_CONNECTED || code == ERROR_GEN_FAILURE ||
           code == ERROR_FILE_NOT_FOUND || code == ERROR_INVALID_HANDLE;
}

TCommsPort::ErrorKind KindOf(DWORD openError)
{
    switch (openError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED:
        return TCommsPort::ErrorKind::NotFound;
    case ERROR_ACCESS_DENIED: // what a COM port that another program has open gives
    case ERROR_SHARING_VIOLATION:
        return TCommsPort::ErrorKind::InUse;
    default:
        return TCommsPort::ErrorKind::Other;
    }
}

// One event per thread for the transfers it starts; each transfer has finished before the
// call that started it returns, so a thread never has two of them outstanding.
class TThreadEvent
{
public:
    TThreadEvent() : Event(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~TThreadEvent()
    {
        if (Event)
            CloseHandle(Event);
    }
    TThreadEvent(const TThreadEvent&) = delete;
    TThreadEvent& operator=(const TThreadEvent&) = delete;
    HANDLE Get() const { return Event; }

private:
    HANDLE Event;
};

OVERLAPPED TransferRecord()
{
    thread_local TThreadEvent event;
    OVERLAPPED record = {};
    record.hEvent = event.Get();
    return record;
}

// A record for a read or write that is expected to end at once: without an event, which under
// Wine costs a round trip to its server to set on every call. One that does not end at once is
// waited for on the port handle, which the system signals when it ends; that is sound because
// the comms thread never has two transfers outstanding on the port.
OVERLAPPED QuickTransferRecord()
{
    return OVERLAPPED{};
}

// The error code of a transfer just started: 0 when it is done or goes on in the background.
DWORD StartCode(BOOL started)
{
    if (started)
        return 0;
    const DWORD code = GetLastError();
    return code == ERROR_IO_PENDING ? 0 : code;
}

// Waits for the end of a transfer that was started; the error code is 0 on success.
DWORD Finish(HANDLE handle, OVERLAPPED& record, DWORD& count)
{
    return GetOverlappedResult(handle, &record, &count, TRUE) ? 0 : GetLastError();
}

// What the receiving thread last learnt about the input queue of the device it reads: how
// many bytes are surely there. Only a hint: ReadByte asks the device again when it is used
// up, so a stale count (another handle, a discard) costs one read that finds nothing.
struct TQueueHint
{
    HANDLE Device = nullptr;
    DWORD Bytes = 0;
};

TQueueHint& ThreadQueueHint()
{
    thread_local TQueueHint hint;
    return hint;
}

void NoteQueued(HANDLE handle, DWORD bytes)
{
    TQueueHint& hint = ThreadQueueHint();
    hint.Device = handle;
    hint.Bytes = bytes;
}

// Whether a byte may be queued: from the hint while it lasts, else from the device itself.
// When the device cannot tell, the read is tried, so that its failure is seen.
bool ByteQueued(HANDLE handle)
{
    TQueueHint& hint = ThreadQueueHint();
    if (hint.Device == handle && hint.Bytes > 0)
        return true;
    DWORD errors = 0;
    COMSTAT status = {};
    if (!ClearCommError(handle, &errors, &status))
        return true;
    NoteQueued(handle, status.cbInQue);
    return status.cbInQue > 0;
}

// Waits until the device reports a received byte, or for at most the given time. The error
// code is 0 when the wait ended either way.
DWORD WaitForReceive(HANDLE handle, DWORD milliseconds)
{
    OVERLAPPED record = TransferRecord();
    DWORD events = 0;
    if (WaitCommEvent(handle, &events, &record))
        return 0;
    DWORD code = GetLastError();
    if (code != ERROR_IO_PENDING)
        return code;
    if (WaitForSingleObject(record.hEvent, milliseconds) != WAIT_OBJECT_0)
        CancelIoEx(handle, &record);
    // The record must outlive the wait: collect its end, whether it came or was cancelled.
    DWORD unused = 0;
    if (GetOverlappedResult(handle, &record, &unused, TRUE))
        return 0;
    code = GetLastError();
    return code == ERROR_OPERATION_ABORTED ? 0 : code;
}

// How a one-byte read tried as a wait ended.
enum class TReadWait
{
    Byte,    // a byte came
    Empty,   // the read returned at once with nothing (Windows, with the read time-outs)
    Nothing, // nothing came within the time (Wine, whose overlapped read waits for a byte)
    Failed,
};

// Under Wine an overlapped read waits for its byte and is woken the moment it arrives, much
// sooner than a WaitCommEvent; on Windows it returns at once and the caller waits for the event.
TReadWait ReadWithin(HANDLE handle, DWORD milliseconds, uint8_t& byte, DWORD& failure)
{
    OVERLAPPED record = TransferRecord();
    DWORD got = 0;
    const BOOL done = ReadFile(handle, &byte, 1, &got, &record);
    failure = StartCode(done);
    if (failure != 0)
        return TReadWait::Failed;
    if (done)
        return got == 1 ? TReadWait::Byte : TReadWait::Empty;
    const bool came = WaitForSingleObject(record.hEvent, milliseconds) == WAIT_OBJECT_0;
    if (!came)
        CancelIoEx(handle, &record);
    failure = Finish(handle, record, got);
    if (failure == ERROR_OPERATION_ABORTED)
        failure = 0;
    if (failure != 0)
        return TReadWait::Failed;
    if (got == 1)
        return TReadWait::Byte;
    return came ? TReadWait::Empty : TReadWait::Nothing;
}

DWORD MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

} // namespace

void TCommsPort::OpenNamed(const std::string& devicePath, int32_t baudRate)
{
    const HANDLE handle = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        Handle.store(FailedHandle, std::memory_order_release);
        // The settings are not tried on the invalid handle: their refusal would replace the
        // diagnostic that says why the open failed.
        ErrorHook(KindOf(code), FileErrorText(code), 1, SystemText(code));
        return;
    }
    DCB current = {};
    current.DCBlength = sizeof current;
    if (!GetCommState(handle, &current)) {
        // A file or another device that is no serial port: nothing is written to it.
        const DWORD code = GetLastError();
        CloseHandle(handle);
        Handle.store(FailedHandle, std::memory_order_release);
        ErrorHook(ErrorKind::NotSerial, FileErrorText(code), 1, SystemText(code));
        return;
    }
    Lost.store(false, std::memory_order_release);
    Handle.store(handle, std::memory_order_release);
    ApplyLineSettings(baudRate);
}

void TCommsPort::ApplyLineSettings(int32_t baudRate)
{
    DCB& LineSettings = Backend->LineSettings;
    LineSettings = TWinLineSettings::For(baudRate);

    const HANDLE handle = Handle.load(std::memory_order_acquire);
    if (!SetCommState(handle, &LineSettings)) {
        const DWORD code = GetLastError();
        // the device keeps its old settings
        ErrorHook(ErrorKind::SettingsRefused, "DCB error", 0, SystemText(code));
    }
    // Reads return at once with what has arrived; writes have no time limit.
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    SetCommTimeouts(handle, &timeouts);
    // What WaitReadable waits for: a byte put into the input queue, or the event character.
    SetCommMask(handle, TWinLineSettings::WaitMask);
}

void TCommsPort::ReleaseHandle()
{
    const HANDLE handle = Handle.exchange(ClosedHandle, std::memory_order_acq_rel);
    if (IsDevice(handle))
        CloseHandle(handle);
    Backend->DropTaken();
    Backend->ReadsReturnAtOnce = false;
    Lost.store(false, std::memory_order_release);
}

void TCommsPort::AdoptHandle(PortHandle handle)
{
    ReleaseHandle();
    Handle.store(handle, std::memory_order_release);
}

void TCommsPort::WriteByte(uint8_t value)
{
    const HANDLE handle = Handle.load(std::memory_order_acquire);
    if (!IsDevice(handle))
        return;
    OVERLAPPED record = QuickTransferRecord();
    DWORD written = 0;
    const BOOL done = WriteFile(handle, &value, 1, &written, &record);
    DWORD code = StartCode(done);
    if (code == 0 && !done)
        code = Finish(handle, record, written);
    if (DeviceGoneError(code))
        MarkLost();
}

int32_t TCommsPort::ReadByte(uint8_t* place)
{
    const HANDLE handle = Handle.load(std::memory_order_acquire);
    if (!IsDevice(handle))
        return 0;
    Platform& platform = *Backend;
    if (platform.HoldsTaken(handle)) {
        *place = platform.Taken[platform.TakenNext++];
        return 1;
    }
    // A read that finds nothing costs more than a look at the queue: under Wine it is started
    // in the background and must be called off again.
    if (!ByteQueued(handle))
        return 0;
    TQueueHint& hint = ThreadQueueHint();
    const DWORD queued = hint.Device == handle ? hint.Bytes : 0;
    const DWORD wanted = std::clamp<DWORD>(queued, 1, sizeof platform.Taken);
    OVERLAPPED record = QuickTransferRecord();
    DWORD got = 0;
    const BOOL started = ReadFile(handle, platform.Taken, wanted, &got, &record);
    DWORD code = StartCode(started);
    if (code == 0 && !started) {
        // With the read time-outs a read never waits on Windows; Wine lets an overlapped one
        // wait for its bytes instead. Such a read is called off at once; what it took is kept.
        CancelIoEx(handle, &record);
        code = Finish(handle, record, got);
    }
    if (hint.Device == handle)
        hint.Bytes = got == 0 ? 0 : hint.Bytes - std::min(got, hint.Bytes);
    if (code != 0 && code != ERROR_OPERATION_ABORTED) {
        if (DeviceGoneError(code))
            MarkLost();
        return 0;
    }
    if (got == 0 || got > wanted)
        return 0;
    platform.Keep(handle, got);
    *place = platform.Taken[platform.TakenNext++];
    return 1;
}

TCommsPort::WaitResult TCommsPort::WaitReadable(int timeoutMs)
{
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    const HANDLE handle = Handle.load(std::memory_order_acquire);
    DWORD failure = 0;
    while (IsDevice(handle)) {
        if (Backend->HoldsTaken(handle))
            return WaitResult::Readable;
        if (!Backend->ReadsReturnAtOnce) {
            // A read that waits needs no look at the queue first: a queued byte ends it at once.
            const TReadWait read =
                ReadWithin(handle, MillisecondsLeft(deadline), Backend->Taken[0], failure);
            if (read == TReadWait::Byte) {
                Backend->Keep(handle, 1);
                return WaitResult::Readable;
            }
            if (read == TReadWait::Failed)
                break;
            if (read == TReadWait::Nothing)
                return WaitResult::TimedOut;
            // The read returned at once with nothing: wait for the receive event instead.
            Backend->ReadsReturnAtOnce = true;
        }
        // The queue first: on Windows a byte that came before the wait began raises no event.
        DWORD errors = 0;
        COMSTAT status = {};
        if (!ClearCommError(handle, &errors, &status)) {
            failure = GetLastError();
            break;
        }
        NoteQueued(handle, status.cbInQue);
        if (status.cbInQue > 0)
            return WaitResult::Readable;
        const DWORD left = MillisecondsLeft(deadline);
        if (left == 0)
            return WaitResult::TimedOut;
        failure = WaitForReceive(handle, left);
        if (failure != 0)
            break;
    }
    if (IsDevice(handle) && DeviceGoneError(failure))
        MarkLost();
    Sleep(MillisecondsLeft(deadline)); // never return at once: the caller may loop
    return WaitResult::Broken;
}

void TCommsPort::DiscardInput()
{
    const HANDLE handle = Handle.load(std::memory_order_acquire);
    if (IsDevice(handle))
        PurgeComm(handle, PURGE_RXCLEAR);
    NoteQueued(handle, 0);
    Backend->DropTaken();
}

bool TCommsPort::DeviceExists(const std::string& devicePath)
{
    // "COM5:" and "\\.\COM5" both name the DOS device COM5.
    std::string name = devicePath;
    if (name.rfind("\\\\.\\", 0) == 0)
        name.erase(0, 4);
    if (!name.empty() && name.back() == ':')
        name.pop_back();
    char target[512];
    return QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
}

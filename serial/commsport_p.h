#pragma once
// The platform half of TCommsPort, seen only by its own source files.
#include "serial/commsport.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <termios.h>
#endif

struct TCommsPort::Platform
{
#ifdef _WIN32
    DCB LineSettings = {};
    // Bytes taken from the device but not yet handed over (comms thread only): the byte a wait
    // took, or all that one read found queued. Each ReadByte hands over one, so a receive step
    // still takes one byte. Every read is a round trip to Wine's server, which can cost more
    // than a byte's time on the wire; one read per byte would fall behind the line.
    HANDLE TakenFrom = nullptr;
    uint8_t Taken[64] = {};
    DWORD TakenCount = 0;
    DWORD TakenNext = 0;

    bool HoldsTaken(HANDLE handle) const
    {
        return TakenFrom == handle && TakenNext < TakenCount;
    }
    void Keep(HANDLE handle, DWORD count)
    {
        TakenFrom = handle;
        TakenCount = count;
        TakenNext = 0;
    }
    void DropTaken()
    {
        TakenNext = TakenCount = 0;
    }
    // A read of an empty device returned at once (Windows): waits use the receive event.
    bool ReadsReturnAtOnce = false;
#else
    struct termios LineSettings = {};
    // Set before Handle is published, read after it is loaded: how to write and discard.
    std::atomic<bool> DeviceIsTty{false};
    std::atomic<bool> DeviceIsSocket{false};
    // The low-latency flag was switched on by this port and is switched off again on close.
    bool LowLatencyToUndo = false;
#endif
};

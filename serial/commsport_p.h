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
    // A byte that a wait took from the device (comms thread only): the next ReadByte hands it
    // over, so a receive step still takes one byte.
    HANDLE HeldFrom = nullptr;
    bool Held = false;
    uint8_t HeldByte = 0;
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

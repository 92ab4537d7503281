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
#else
    struct termios LineSettings = {};
    // Set before Handle is published, read after it is loaded: how to write and discard.
    std::atomic<bool> DeviceIsTty{false};
    std::atomic<bool> DeviceIsSocket{false};
    // The low-latency flag was switched on by this port and is switched off again on close.
    bool LowLatencyToUndo = false;
#endif
};

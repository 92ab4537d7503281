#pragma once
// The Win32 line settings the port applies on every open, and what its waits watch for.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

class TWinLineSettings
{
public:
    // Every reply ends in LF. An FTDI chip passes its buffer on as soon as an enabled event
    // character arrives instead of holding it for its latency timer (16 ms by default). It
    // changes nothing on the wire, only when the adapter hands the bytes to the PC.
    static constexpr char EventChar = '\n';
    // What a wait for the next byte watches: a byte queued, or the event character.
    static constexpr DWORD WaitMask = EV_RXCHAR | EV_RXFLAG;

    // 8 data bits, no parity, one stop bit, no flow control of any kind, DTR and RTS held
    // off: every member not set here stays zero.
    static DCB For(int32_t baudRate);
};

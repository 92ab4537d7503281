#pragma once

#include <cstdint>

// How the comms thread waits between the bytes of a reply. A serial line hands a reply over
// one byte per byte time, and waking for each byte costs a thread switch and two system calls
// per byte, more than everything else the exchange does. While bytes come singly at the line
// rate, the thread sleeps through a few byte times instead and then takes what has come, still
// one byte per receive step. The end of a line is waited for on the port, as is anything that
// does not keep to the rate: a burst or a long pause (USB frames) or a gap.
class TReplyPacer
{
public:
    enum class Next
    {
        ReadAgain, // take the next byte at once
        Sleep,     // sleep until WakeAtNs()
        Poll,      // wait on the port for the next byte
    };

    static constexpr int BytesPerWake = 3;

    // A command has gone out; its reply is still to come. A byte time of 0 turns pacing off.
    void Start(int64_t byteTimeNs);
    // After each receive step while a reply is awaited: whether a byte came, and which.
    Next AfterStep(bool gotByte, uint8_t byte, int64_t nowNs);

    int64_t WakeAtNs() const { return WakeAt; }

private:
    Next Wait(Next how, int64_t nowNs);

    int64_t ByteTime = 0;
    int Drained = 0; // bytes taken since the last wait
    bool LastGoesOn = false;
    bool ReplyBegun = false;
    bool OnRate = false; // the bytes of this wake came as the line rate brings them
    int64_t WaitBegan = 0;
    bool WaitWasSleep = false;
    int64_t WakeAt = 0;
};

#pragma once

#include <string_view>

// What happened on the line besides a command and its answer.
enum class TLineEvent
{
    TimedOut,      // detail: the key whose reply was waited for
    StrayLine,     // detail: a line that came while no reply was awaited
    OverlongReply, // detail: the reply's length without its LF, as decimal digits
    Unplugged,     // detail: the key whose reply was waited for, if one was
    Stopped,       // detail: "stop" (ended at once) or "request" (nothing more sent)
};

// Sees what the driver sends and takes, one call per event, in the order of the events. Every
// call comes on the comms thread while an exchange runs and must never block: an observer
// copies what it needs and returns. The texts are valid only during the call.
class TLineObserver
{
public:
    virtual ~TLineObserver() = default;

    // A command as it goes on the wire after the lead byte, its CR LF included.
    virtual void CommandSent(std::string_view command) = 0;
    // A line taken while a reply was awaited, without its LF. After a time-out a read is
    // repeated until two answers agree; each of those lines is told too.
    virtual void LineTaken(std::string_view line) = 0;
    virtual void LineEvent(TLineEvent event, std::string_view detail) = 0;
};

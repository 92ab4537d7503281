#pragma once

#include <cstdint>
#include <string>

// What the other end of the line has shown itself to be.
enum class TLineVerdict : int32_t
{
    Pending,       // nothing telling yet
    Instrument,    // it answers as the instrument does
    NotInstrument, // it sends data by itself
};

// Judges, from the lines received and the requests sent, whether the other end is the
// instrument. The instrument speaks only when spoken to, one line to each command; a device
// that sends lines nobody asked for (a GPS receiver, many of which are FTDI-based too) is not
// the instrument. One stray line (noise at power-up) is forgiven. A number where the instrument
// holds one shows the instrument; what a reply holds never refuses the other end, since an
// instrument may hold text there (written by another tool) and must stay readable and
// repairable: such values are only reported as looking wrong (ValueFits).
class TLineJudge
{
public:
    // A new connection: nothing is known.
    void Opened();
    // Lines completed while no reply was awaited: before a command went out.
    void UnaskedLines(int count);
    // A request went unanswered: a line that comes later may be its late reply, so lines
    // nobody asked for no longer count as evidence.
    void TimedOut();
    // The reply line taken as the answer to a read of `key`, without its CR.
    void ReadAnswered(const std::string& key, const std::string& value);
    // Whether the line should be listened to before the next command: a reply that does not
    // fit, while nothing is decided, may be a line of a device talking by itself, which then
    // sends more lines nobody asked for. Cleared by asking.
    bool TakeListenRequest();

    TLineVerdict Verdict() const { return Current; }

    // Whether the instrument holds a number in this setting.
    static bool HoldsNumber(const std::string& key);
    // Whether `value` is what the instrument can hold in `key`: anything where it holds text;
    // a number, or its reply for a setting it does not hold, where it holds a number.
    static bool ValueFits(const std::string& key, const std::string& value);
    // A number as the instrument writes one ("2500", "-1.2500E+01"); blanks around it allowed.
    static bool IsNumber(const std::string& text);

    static constexpr int StrayLinesForgiven = 1;
    // Listens per connection: a talking device is caught by the first; an instrument holding
    // text in many settings is not slowed down by every one of them.
    static constexpr int ListensForOddReplies = 2;
    // What the instrument answers for a setting it does not hold.
    static constexpr const char* UndefinedReply = "Undefined";

private:
    void Decide();

    TLineVerdict Current = TLineVerdict::Pending;
    int Unasked = 0;
    int Numbers = 0;
    int Listens = 0;
    bool ListenRequested = false;
    bool AnyTimeOut = false;
};

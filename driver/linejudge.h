#pragma once

#include <cstdint>
#include <string>

// What the other end of the line has shown itself to be.
enum class LineVerdict : int32_t
{
    Pending,       // nothing telling yet
    Instrument,    // it answers as the instrument does
    NotInstrument, // it sends data by itself, or its replies cannot be settings
};

// Judges, from the lines received and the requests sent, whether the other end is the
// instrument. The instrument speaks only when spoken to, one line to each command, and holds
// numbers where the middle frequency and the coefficients are. A device that sends lines
// nobody asked for (a GPS receiver, many of which are FTDI-based too) or whose replies to those
// settings are not numbers is not the instrument. One stray line (noise at power-up) is
// forgiven, and so is a reply that is not a number once the instrument has shown itself.
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

    LineVerdict Verdict() const { return Current; }

    // Whether the instrument holds a number in this setting.
    static bool HoldsNumber(const std::string& key);
    // A number as the instrument writes one ("2500", "-1.2500E+01"); blanks around it allowed.
    static bool IsNumber(const std::string& text);

    static constexpr int StrayLinesForgiven = 1;
    static constexpr int NonNumbersForgiven = 1;
    // What the instrument answers for a setting it does not hold.
    static constexpr const char* UndefinedReply = "Undefined";

private:
    void Decide();

    LineVerdict Current = LineVerdict::Pending;
    int Unasked = 0;
    int Numbers = 0;
    int NonNumbers = 0;
    bool AnyTimeOut = false;
};

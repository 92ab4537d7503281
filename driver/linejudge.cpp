#include "driver/linejudge.h"

#include <array>
#include <cctype>
#include <string_view>

namespace {

bool EndsWith(const std::string& text, std::string_view tail)
{
    return text.size() > tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Skips digits from `at`; returns how many there were.
std::size_t Digits(const std::string& text, std::size_t& at)
{
    const std::size_t start = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])))
        ++at;
    return at - start;
}

} // namespace

void TLineJudge::Opened()
{
    *this = TLineJudge();
}

void TLineJudge::UnaskedLines(int count)
{
    if (count <= 0 || AnyTimeOut)
        return;
    Unasked += count;
    Decide();
}

void TLineJudge::TimedOut()
{
    AnyTimeOut = true;
}

void TLineJudge::ReadAnswered(const std::string& key, const std::string& value)
{
    if (!HoldsNumber(key))
        return;
    if (!ValueFits(key, value)) {
        if (Current == TLineVerdict::Pending && !AnyTimeOut && Listens < ListensForOddReplies) {
            ++Listens;
            ListenRequested = true;
        }
        return;
    }
    ++Numbers;
    Decide();
}

bool TLineJudge::TakeListenRequest()
{
    const bool requested = ListenRequested;
    ListenRequested = false;
    return requested;
}

bool TLineJudge::ValueFits(const std::string& key, const std::string& value)
{
    return !HoldsNumber(key) || IsNumber(value) || value == UndefinedReply;
}

// Once decided, the verdict stays for the connection: an instrument that has answered with
// numbers is not disowned by a later odd line, and a talking device is not forgiven.
void TLineJudge::Decide()
{
    if (Current != TLineVerdict::Pending)
        return;
    if (Unasked > StrayLinesForgiven)
        Current = TLineVerdict::NotInstrument;
    else if (Numbers > 0)
        Current = TLineVerdict::Instrument;
}

bool TLineJudge::HoldsNumber(const std::string& key)
{
    static constexpr std::array<std::string_view, 11> numericFields = {
        "CFRQ", "CAL0", "CAL1", "CAL2", "CAL3", "T0", "R0", "STA", "STB", "STC", "STD"};
    for (const std::string_view field : numericFields)
        if (EndsWith(key, field))
            return true;
    return false;
}

bool TLineJudge::IsNumber(const std::string& text)
{
    std::size_t at = text.find_first_not_of(' ');
    const std::size_t end = text.find_last_not_of(' ');
    if (at == std::string::npos)
        return false;
    const std::string trimmed = text.substr(at, end - at + 1);
    at = 0;
    if (trimmed[at] == '+' || trimmed[at] == '-')
        ++at;
    std::size_t mantissa = Digits(trimmed, at);
    if (at < trimmed.size() && trimmed[at] == '.') {
        ++at;
        mantissa += Digits(trimmed, at);
    }
    if (mantissa == 0)
        return false;
    if (at < trimmed.size() && (trimmed[at] == 'E' || trimmed[at] == 'e')) {
        ++at;
        if (at < trimmed.size() && (trimmed[at] == '+' || trimmed[at] == '-'))
            ++at;
        if (Digits(trimmed, at) == 0)
            return false;
    }
    return at == trimmed.size();
}

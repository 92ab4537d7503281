#include "settingsfile/showntext.h"

#include <cstdio>

namespace {

std::string Escaped(unsigned char byte)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
    return hex;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0.
std::size_t SequenceLength(const std::string& text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80)
            return 0;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
        return 0; // overlong, surrogate or beyond U+10FFFF
    if (lead == 0xC2 && second < 0xA0)
        return 0; // C1 control characters act on some terminals
    return length;
}

} // namespace

std::string TShownText::Of(const std::string& utf8, std::size_t limit)
{
    std::string shown;
    std::size_t characters = 0;
    std::size_t at = 0;
    for (; at < utf8.size() && characters < limit; ++characters) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += utf8[at++];
            continue;
        }
        const std::size_t length = byte >= 0x80 ? SequenceLength(utf8, at) : 0;
        if (length == 0) {
            shown += Escaped(byte);
            ++at;
            continue;
        }
        shown.append(utf8, at, length);
        at += length;
    }
    if (at < utf8.size())
        shown += "... (cut; " + std::to_string(utf8.size()) + " bytes in all)";
    return shown;
}

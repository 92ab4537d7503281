#include "driver/valuecheck.h"

#include "driver/linejudge.h"
#include "driver/sdi12d.h"

#include <cstdio>

namespace {

std::string Hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

std::string ControlName(unsigned char byte)
{
    switch (byte) {
    case '\r':
        return "a carriage return";
    case '\n':
        return "a line feed";
    case 0x00:
        return "a NUL character";
    case LeadByte:
        return "the command lead byte 0x02";
    case '\t':
        return "a tab";
    default:
        return "the control character " + Hex(byte);
    }
}

} // namespace

std::optional<std::string> UnsafeValueReason(const std::string& key, const std::string& text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // C0, DEL and the C1 controls of Latin-1.
        if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0))
            return "Not sent: the value holds " + ControlName(byte);
    }
    if (!Tsdi12d::CommandFits(Tsdi12d::WriteCommand(key, text)))
        return "Not sent: the value is too long (" + std::to_string(text.size()) +
               " characters; the command may hold " + std::to_string(MaxCommandLength) +
               " characters with the key)";
    return NotANumberReason(key, text);
}

std::optional<std::string> NotANumberReason(const std::string& key, const std::string& text)
{
    if (!TLineJudge::HoldsNumber(key) || TLineJudge::IsNumber(text))
        return std::nullopt;
    return std::string("Not sent: this setting holds a number (such as 2500 or -1.2500E-03)");
}

std::optional<std::string> UnrepresentableTextReason(const std::u16string& text)
{
    for (const char16_t unit : text)
        if (unit > 0xFF)
            return "Not sent: the value holds a character the instrument cannot store";
    return std::nullopt;
}

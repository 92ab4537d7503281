#include "settingsfile/settingsfile.h"

#include "driver/settingkeys.h"
#include "driver/valuecheck.h"
#include "settingsfile/atomicwrite.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unordered_set>

namespace {

constexpr const char* Bom = "\xEF\xBB\xBF";

// Decodes UTF-8 into Latin-1 bytes. Fails on a malformed sequence and on a character above
// U+00FF, which the instrument cannot store.
bool Utf8ToLatin1(const std::string& text, std::string& latin1, std::string& reason)
{
    latin1.clear();
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            latin1 += static_cast<char>(lead);
            ++i;
            continue;
        }
        int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        unsigned long code = lead & (0x7Fu >> length);
        if (length == 0 || lead > 0xF4 || i + length > text.size()) {
            reason = "the text is not UTF-8";
            return false;
        }
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                reason = "the text is not UTF-8";
                return false;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            reason = "the text is not UTF-8";
            return false;
        }
        if (code > 0xFF) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "U+%04lX", code);
            reason = std::string("the line holds the character ") + hex +
                     ", which the instrument cannot store (only Latin-1 characters)";
            return false;
        }
        latin1 += static_cast<char>(code);
        i += static_cast<std::size_t>(length);
    }
    return true;
}

std::string Latin1ToUtf8(const std::string& latin1)
{
    std::string text;
    text.reserve(latin1.size());
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

bool IsBlank(const std::string& line)
{
    return line.find_first_not_of(" \t") == std::string::npos;
}

// A note must stay one comment line: line breaks within it start a new one.
std::string CommentText(const std::string& note)
{
    std::string text;
    for (const char c : Latin1ToUtf8(note))
        text += c == '\n' ? std::string("\n# ") : c == '\r' ? std::string() : std::string(1, c);
    return text;
}

std::string UtcText(std::time_t when)
{
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &when);
#else
    gmtime_r(&when, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

// A key as an error message shows it: bytes that are not printable ASCII as \xNN, so that a
// stray control character is seen and cannot act on the terminal.
std::string Shown(const std::string& key)
{
    std::string text;
    for (const char c : key) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            text += c;
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        text += hex;
    }
    return text;
}

// Checks one line that is neither blank nor a comment; on success adds its setting.
std::string TakeLine(const std::string& line, SettingList& settings,
                     std::unordered_set<std::string>& seen)
{
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos)
        return "the line has no \"=\" (expected KEY=VALUE)";
    const std::string key = line.substr(0, equals);
    std::string value;
    std::string reason;
    if (!Utf8ToLatin1(line.substr(equals + 1), value, reason))
        return reason;
    if (SettingKeys::IndexOf(key) < 0)
        return "unknown key \"" + Shown(key) + "\"";
    if (!seen.insert(key).second)
        return "the key " + key + " is given a second time";
    reason = TSettingsFile::Problem(key, value);
    if (!reason.empty())
        return key + ": " + reason;
    settings.push_back({key, value});
    return {};
}

} // namespace

std::string TSettingsFile::Utf8Of(const std::string& latin1)
{
    return Latin1ToUtf8(latin1);
}

std::string SettingsFileResult::Message() const
{
    if (Line == 0)
        return File + ": " + Reason;
    return File + ", line " + std::to_string(Line) + ": " + Reason;
}

std::string TSettingsFile::Problem(const std::string& key, const std::string& latin1Value)
{
    if (SettingKeys::IndexOf(key) < 0)
        return "unknown key \"" + Shown(key) + "\"";
    return UnsafeValueReason(key, latin1Value).value_or(std::string());
}

SettingsFileResult TSettingsFile::Parse(const std::string& fileName, const std::string& text)
{
    SettingsFileResult result;
    result.File = fileName;
    std::unordered_set<std::string> seen;
    std::size_t start = text.compare(0, 3, Bom) == 0 ? 3 : 0;
    for (int lineNumber = 1; start < text.size(); ++lineNumber) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (IsBlank(line) || line[0] == '#')
            continue;
        const std::string reason = TakeLine(line, result.Settings, seen);
        if (!reason.empty()) {
            result.Settings.clear();
            result.Line = lineNumber;
            result.Reason = reason;
            return result;
        }
    }
    return result;
}

SettingsFileResult TSettingsFile::Read(const std::string& path)
{
    std::error_code ignored;
    std::ifstream in;
    if (!std::filesystem::is_directory(path, ignored))
        in.open(path, std::ios::binary);
    std::string content;
    char chunk[4096];
    while (in.is_open() && in.read(chunk, sizeof chunk).gcount() > 0)
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (!in.is_open() || in.bad()) {
        SettingsFileResult result;
        result.File = path;
        result.Reason = "cannot be read: check that the file exists and that you may read it";
        return result;
    }
    return Parse(path, content);
}

std::string TSettingsFile::Format(const SettingList& settings, const SettingsFileHeader& header,
                                  std::string& error)
{
    std::string text = "# devconfig settings: one KEY=VALUE per line, UTF-8\n";
    text += "# Read from " + CommentText(header.Device) + " at " + UtcText(header.ReadAt) + "\n";
    for (const std::string& note : header.Notes)
        text += "# " + CommentText(note) + "\n";
    std::unordered_set<std::string> seen;
    for (const SettingValue& setting : settings) {
        std::string problem = Problem(setting.Key, setting.Value);
        if (problem.empty() && !seen.insert(setting.Key).second)
            problem = "the key is given a second time";
        if (!problem.empty()) {
            error = setting.Key + ": " + problem;
            return {};
        }
        text += setting.Key + "=" + Latin1ToUtf8(setting.Value) + "\n";
    }
    error.clear();
    return text;
}

std::string TSettingsFile::Write(const std::string& path, const SettingList& settings,
                                 const SettingsFileHeader& header)
{
    std::string error;
    const std::string text = Format(settings, header, error);
    if (!error.empty())
        return error;
    return WriteFileAtomically(path, text);
}

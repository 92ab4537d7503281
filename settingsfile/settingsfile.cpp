#include "settingsfile/settingsfile.h"

#include "driver/settingkeys.h"
#include "driver/valuecheck.h"
#include "settingsfile/atomicwrite.h"
#include "settingsfile/showntext.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <unordered_set>

namespace {

constexpr const char* Bom = "\xEF\xBB\xBF";
constexpr std::size_t ShownKeyLimit = 40;

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

// A key as an error message shows it: control bytes visible, and never more than a line.
std::string Shown(const std::string& key)
{
    return TShownText::Of(key, ShownKeyLimit);
}

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Why a file is not UTF-8 text at all: UTF-16 and UTF-32 files, by their byte-order mark or by
// the NUL bytes that ASCII characters carry in them.
std::optional<std::string> EncodingProblem(const std::string& text)
{
    const auto starts = [&](const char* mark, std::size_t length) {
        return text.compare(0, length, mark, length) == 0;
    };
    if (starts("\xFF\xFE\0\0", 4) || starts("\0\0\xFE\xFF", 4))
        return "the file is UTF-32 text; save it as UTF-8 and run again";
    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2))
        return "the file is UTF-16 text; save it as UTF-8 and run again";
    if (text.find('\0') != std::string::npos)
        return "the file holds NUL bytes: it is not UTF-8 text (UTF-16 or UTF-32 perhaps); save "
               "it as UTF-8 and run again";
    return std::nullopt;
}

// Checks one line that is neither blank nor a comment; on success adds its setting.
std::string TakeLine(const std::string& line, SettingList& settings,
                     std::unordered_set<std::string>& seen)
{
    if (line.size() > TSettingsFile::MaxLineBytes)
        return "the line is " + std::to_string(line.size()) +
               " bytes long; no setting needs more " + "than " +
               std::to_string(TSettingsFile::MaxLineBytes);
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos)
        return "the line has no \"=\" (expected KEY=VALUE)";
    const std::string key = line.substr(0, equals);
    std::string value;
    std::string reason;
    if (!Utf8ToLatin1(line.substr(equals + 1), value, reason))
        return reason;
    if (TSettingKeys::IndexOf(key) < 0 && TSettingKeys::IndexOf(Trimmed(key)) >= 0)
        return "a blank next to the key " + Trimmed(key) + ": remove it (KEY=VALUE, no blank " +
               "before the \"=\"; blanks after it belong to the value)";
    if (TSettingKeys::IndexOf(key) < 0)
        return "unknown key \"" + Shown(key) + "\"";
    if (!seen.insert(key).second)
        return "the key " + key + " is given a second time";
    if (const auto problem = TSettingsFile::Problem(key, value))
        return key + ": " + *problem;
    settings.push_back({key, value});
    return {};
}

} // namespace

std::string TSettingsFile::Utf8Of(const std::string& latin1)
{
    return Latin1ToUtf8(latin1);
}

std::string TSettingsFileResult::Message() const
{
    if (Line == 0)
        return TShownText::Of(File) + ": " + Reason;
    return TShownText::Of(File) + ", line " + std::to_string(Line) + ": " + Reason;
}

std::optional<std::string> TSettingsFile::Problem(const std::string& key,
                                                  const std::string& latin1Value)
{
    if (TSettingKeys::IndexOf(key) < 0)
        return "unknown key \"" + Shown(key) + "\"";
    return UnsafeValueReason(key, latin1Value);
}

TSettingsFileResult TSettingsFile::Parse(const std::string& fileName, const std::string& text)
{
    TSettingsFileResult result;
    result.File = fileName;
    if (const auto problem = EncodingProblem(text)) {
        result.Reason = *problem;
        return result;
    }
    std::unordered_set<std::string> seen;
    std::size_t start = text.compare(0, 3, Bom) == 0 ? 3 : 0;
    for (int lineNumber = 1; start < text.size(); ++lineNumber) {
        // CR LF, LF and CR alone all end a line.
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
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

TSettingsFileResult TSettingsFile::Read(const std::string& path)
{
    TSettingsFileResult refused;
    refused.File = path;
    std::error_code ignored;
    std::ifstream file;
    if (path != "-" && !std::filesystem::is_directory(path, ignored))
        file.open(path, std::ios::binary);
    std::istream& in = path == "-" ? std::cin : file;
    const bool open = path == "-" || file.is_open();
    std::string content;
    char chunk[4096];
    // Never more than the limit and one chunk in memory, whatever the file (/dev/zero, a FIFO).
    while (open && content.size() <= MaxFileBytes && in.read(chunk, sizeof chunk).gcount() > 0)
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (!open || in.bad()) {
        refused.Reason = "cannot be read: check that the file exists and that you may read it";
        return refused;
    }
    if (content.size() > MaxFileBytes) {
        refused.Reason = "the file is larger than 1 MB, far more than the settings need (under " +
                         std::string("60 KB)): is it the right file?");
        return refused;
    }
    return Parse(path, content);
}

std::optional<std::string> TSettingsFile::Unkeepable(const SettingList& settings)
{
    std::unordered_set<std::string> seen;
    for (const TSettingValue& setting : settings) {
        if (const auto problem = Problem(setting.Key, setting.Value))
            return setting.Key + ": " + *problem;
        if (!seen.insert(setting.Key).second)
            return setting.Key + ": the key is given a second time";
    }
    return std::nullopt;
}

std::string TSettingsFile::Format(const SettingList& settings, const TSettingsFileHeader& header)
{
    std::string text = "# devconfig settings: one KEY=VALUE per line, UTF-8\n";
    text += "# Read from " + CommentText(header.Device) + " at " + UtcText(header.ReadAt) + "\n";
    for (const std::string& note : header.Notes)
        text += "# " + CommentText(note) + "\n";
    for (const TSettingValue& setting : settings)
        text += setting.Key + "=" + Latin1ToUtf8(setting.Value) + "\n";
    return text;
}

std::optional<std::string> TSettingsFile::Write(const std::string& path,
                                                const SettingList& settings,
                                                const TSettingsFileHeader& header)
{
    if (auto problem = Unkeepable(settings))
        return problem;
    return WriteFileAtomically(path, Format(settings, header));
}

#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

// One setting as a file holds it. The value is 8-bit (Latin-1) text, exactly as it goes over
// the wire and as dev_opt keeps it; the file itself is UTF-8.
struct TSettingValue
{
    std::string Key;
    std::string Value;

    bool operator==(const TSettingValue&) const = default;
};
using SettingList = std::vector<TSettingValue>;

// What a settings file says about itself in its leading comment lines.
struct TSettingsFileHeader
{
    std::string Device;             // where the values were read, e.g. "/dev/ttyUSB0"
    std::time_t ReadAt = 0;         // when
    std::vector<std::string> Notes; // further comment lines, without their "# "
};

// The outcome of reading a file: every setting in file order, or why the file was refused.
// A refused file yields no settings at all.
struct TSettingsFileResult
{
    SettingList Settings;
    std::string File;
    int Line = 0; // 0: the file as a whole (it could not be read)
    std::string Reason;

    bool Ok() const { return Reason.empty(); }
    // "FILE, line N: reason", for the user.
    std::string Message() const;
};

// Settings files: plain UTF-8 text, one KEY=VALUE per line with the instrument's wire keys.
// The value is everything after the first "=" up to the end of the line, byte for byte; CR LF,
// LF and CR alone all end a line. Blank lines and lines that begin with "#" are ignored. A file is
// taken only whole: an unknown key, a key given twice, a line without "=", text that is not
// UTF-8, a character outside Latin-1 or a control character, or a value whose write command
// would not fit the driver refuses the file.
class TSettingsFile
{
public:
    // A file larger than this is refused before the rest is read; 181 settings need < 60 KB.
    static constexpr std::size_t MaxFileBytes = 1 << 20;
    // The longest setting line: a key, "=" and a value whose write command fits the driver, as
    // UTF-8 (two bytes for a Latin-1 character above 0x7F), with room to spare.
    static constexpr std::size_t MaxLineBytes = 1024;

    // The file's text as read; fileName only names it in the error.
    static TSettingsFileResult Parse(const std::string& fileName, const std::string& text);
    // "-" reads standard input.
    static TSettingsFileResult Read(const std::string& path);

    // Why these settings cannot stand in one file (a setting Problem refuses, a key given
    // twice); nothing when they can.
    static std::optional<std::string> Unkeepable(const SettingList& settings);
    // The file's text: the header comments, then every setting in list order. Only for
    // settings that Unkeepable accepts.
    static std::string Format(const SettingList& settings, const TSettingsFileHeader& header);
    // Writes the file atomically: a temporary file beside it, renamed over it when complete.
    // Returns nothing when done, else what went wrong; the target is then untouched.
    static std::optional<std::string> Write(const std::string& path, const SettingList& settings,
                                            const TSettingsFileHeader& header);

    // Latin-1 text as UTF-8, as a file (and a terminal) shows it.
    static std::string Utf8Of(const std::string& latin1);

    // Why this key and value cannot stand in a settings file, nothing when they can: the
    // same rules as Parse, so that every file written can be read back.
    static std::optional<std::string> Problem(const std::string& key,
                                              const std::string& latin1Value);
};

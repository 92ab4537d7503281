#include "session/dialoguelog.h"

#include "settingsfile/atomicwrite.h"
#include "settingsfile/showntext.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <system_error>

namespace {

void AppendEscaped(std::string& out, std::string_view bytes)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out += c;
            continue;
        }
        const char escape[4] = {'\\', 'x', Hex[byte >> 4], Hex[byte & 0xF]};
        out.append(escape, sizeof escape);
    }
}

// A line's text without the line end that every command and reply carries.
std::string_view WithoutEnd(std::string_view text, std::string_view end)
{
    if (text.size() >= end.size() && text.substr(text.size() - end.size()) == end)
        text.remove_suffix(end.size());
    return text;
}

std::string SystemReason(int error)
{
    std::string reason = std::generic_category().message(error);
    if (!reason.empty())
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

std::string LocalTimeNow()
{
    const std::time_t now = std::time(nullptr);
    char text[32] = {};
    // Made once per log, at start-up, before other threads could call localtime.
    if (const std::tm* local = std::localtime(&now))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
    return text;
}

} // namespace

TDialogueLog::TDialogueLog(std::size_t limitBytes)
    : LimitBytes(limitBytes), Start(std::chrono::steady_clock::now()),
      LimitNote(LimitText(limitBytes))
{
    Writer = std::thread([this] { WriteOut(); });
    Note("dialogue log started " + LocalTimeNow());
}

TDialogueLog::~TDialogueLog()
{
    {
        std::lock_guard<std::mutex> hand(HandMutex);
        Stopping = true;
    }
    HandSignal.notify_one();
    Writer.join();
    if (File)
        std::fclose(File);
}

std::string TDialogueLog::LimitText(std::size_t limitBytes)
{
    constexpr std::size_t Megabyte = 1024 * 1024;
    const std::string size = limitBytes % Megabyte == 0
                                 ? std::to_string(limitBytes / Megabyte) + " MB"
                                 : std::to_string(limitBytes) + " bytes";
    return "the log has reached its limit of " + size + "; nothing more is logged";
}

std::string TDialogueLog::Escaped(std::string_view bytes)
{
    std::string out;
    AppendEscaped(out, bytes);
    return out;
}

std::optional<std::string> TDialogueLog::Open(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (!file)
        return "cannot open the log file " + TShownText::Of(path) + ": " + SystemReason(errno);
    std::lock_guard<std::mutex> store(StoreMutex);
    if (File)
        std::fclose(File);
    File = file;
    FilePath = path;
    // What was logged before the file was named goes first.
    if (!Memory.empty())
        std::fwrite(Memory.data(), 1, Memory.size(), File);
    std::fflush(File);
    return std::nullopt;
}

void TDialogueLog::CommandSent(std::string_view command)
{
    TellCommand({}, command);
}

void TDialogueLog::LineTaken(std::string_view line)
{
    TellLine({}, line);
}

void TDialogueLog::LineEvent(TLineEvent event, std::string_view detail)
{
    TellEvent({}, event, detail);
}

void TDialogueLog::Note(std::string_view text)
{
    TellNote({}, text);
}

TDialogueLog::Channel::Channel(TDialogueLog& log, std::string prefix)
    : Log(log), Prefix(std::move(prefix))
{
}

void TDialogueLog::Channel::CommandSent(std::string_view command)
{
    Log.TellCommand(Prefix, command);
}

void TDialogueLog::Channel::LineTaken(std::string_view line)
{
    Log.TellLine(Prefix, line);
}

void TDialogueLog::Channel::LineEvent(TLineEvent event, std::string_view detail)
{
    Log.TellEvent(Prefix, event, detail);
}

void TDialogueLog::Channel::Note(std::string_view text)
{
    Log.TellNote(Prefix, text);
}

void TDialogueLog::TellCommand(std::string_view prefix, std::string_view command)
{
    Add(prefix, '>', {}, WithoutEnd(command, "\r\n"));
}

void TDialogueLog::TellLine(std::string_view prefix, std::string_view line)
{
    Add(prefix, '<', {}, WithoutEnd(line, "\r"));
}

void TDialogueLog::TellNote(std::string_view prefix, std::string_view text)
{
    Add(prefix, '!', {}, text);
}

void TDialogueLog::TellEvent(std::string_view prefix, TLineEvent event, std::string_view detail)
{
    const auto tell = [&](char mark, std::string_view head, std::string_view text,
                          std::string_view tail = {}) {
        this->Add(prefix, mark, head, text, tail);
    };
    switch (event) {
    case TLineEvent::TimedOut:
        tell('!', "no reply in time to ", detail);
        break;
    case TLineEvent::StrayLine:
        tell('!', "stray line taken before a command: ", WithoutEnd(detail, "\r"));
        break;
    case TLineEvent::OverlongReply:
        tell('!', "over-long reply refused: ", detail, " characters");
        break;
    case TLineEvent::Unplugged:
        if (detail.empty())
            tell('!', "the device is gone (unplugged)", {});
        else
            tell('!', "the device is gone (unplugged) while waiting for ", detail);
        break;
    case TLineEvent::Stopped:
        tell('!', detail == "request" ? "asked to stop: nothing more is sent" : "stopped at once",
             {});
        break;
    }
}

void TDialogueLog::Add(std::string_view prefix, char mark, std::string_view head,
                       std::string_view text, std::string_view tail)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> hand(HandMutex);
        if (Full)
            return;
        // Taken under the lock, so that the times in the log never go back.
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - Start);
        AppendLine(prefix, static_cast<uint64_t>(ms.count()), mark, head, text, tail);
        wake = WriterWaits;
        WriterWaits = false;
    }
    if (wake)
        HandSignal.notify_one();
}

void TDialogueLog::AppendLine(std::string_view prefix, uint64_t ms, char mark,
                              std::string_view head, std::string_view text, std::string_view tail)
{
    // The longest a time can be: room kept for the last line in any case.
    constexpr std::size_t TimeDigits = 20;
    char digits[TimeDigits];
    const auto end = std::to_chars(digits, digits + TimeDigits, ms).ptr;
    const std::size_t before = Pending.size();
    if (!prefix.empty()) {
        Pending += prefix;
        Pending += ' ';
    }
    Pending.append(digits, end);
    Pending += ' ';
    Pending += mark;
    Pending += ' ';
    Pending += head;
    AppendEscaped(Pending, text);
    Pending += tail;
    Pending += '\n';
    ++HandedLines;
    const std::size_t size = Pending.size() - before;
    const std::size_t reserve = TimeDigits + 4 + LimitNote.size();
    if (Accepted + size + reserve <= LimitBytes) {
        Accepted += size;
        return;
    }
    Pending.resize(before);
    Pending.append(digits, end);
    Pending += " ! ";
    Pending += LimitNote;
    Pending += '\n';
    Accepted += Pending.size() - before;
    Full = true;
}

void TDialogueLog::WriteOut()
{
    std::string batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> hand(HandMutex);
            while (Pending.empty() && !Stopping) {
                WriterWaits = true;
                HandSignal.wait(hand);
            }
            WriterWaits = false;
            if (Pending.empty())
                return; // stopping, and everything is written
            // Lines come in bursts during an exchange: gathered for a moment, they cost the
            // comms thread one wake of the writer per batch rather than one per line.
            HandSignal.wait_for(hand, GatherTime, [this] { return Stopping; });
        }
        // The store lock is held from taking the lines until they are stored, so that Text
        // never sees them in neither place.
        std::lock_guard<std::mutex> store(StoreMutex);
        uint64_t lines = 0;
        {
            std::lock_guard<std::mutex> hand(HandMutex);
            batch.swap(Pending);
            lines = HandedLines;
        }
        Store(batch);
        batch.clear();
        {
            std::lock_guard<std::mutex> hand(HandMutex);
            StoredLines = lines;
        }
        DoneSignal.notify_all();
    }
}

// Writer thread, under the store lock.
void TDialogueLog::Store(const std::string& batch)
{
    Memory += batch;
    if (!File)
        return;
    if (std::fwrite(batch.data(), 1, batch.size(), File) == batch.size() && std::fflush(File) == 0)
        return;
    const std::string reason = SystemReason(errno);
    std::fclose(File);
    File = nullptr;
    // Memory keeps the whole log; say there where the file ends.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - Start);
    Memory += std::to_string(ms.count()) + " ! cannot write the log file " +
              TShownText::Of(FilePath) + ": " + reason + "; the file ends before this line\n";
}

std::string TDialogueLog::Text() const
{
    std::lock_guard<std::mutex> store(StoreMutex);
    std::string text = Memory;
    std::lock_guard<std::mutex> hand(HandMutex);
    text += Pending;
    return text;
}

std::optional<std::string> TDialogueLog::SaveTo(const std::string& path) const
{
    if (const auto failure = WriteFileAtomically(path, Text()))
        return "The dialogue log was not saved: " + *failure;
    return std::nullopt;
}

void TDialogueLog::Flush()
{
    std::unique_lock<std::mutex> hand(HandMutex);
    const uint64_t handed = HandedLines;
    DoneSignal.wait(hand, [&] { return StoredLines >= handed; });
}

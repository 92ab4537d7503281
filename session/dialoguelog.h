#pragma once

#include "driver/lineobserver.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

// The dialogue with the instrument, one line per event: the milliseconds since the log was
// made, a mark ('>' a command sent, '<' a reply line taken, '!' an event), and the text, each
// byte outside printable ASCII (and the backslash) written as \xNN. A command is shown without
// its lead byte and CR LF, a reply without its CR LF.
//
// The lines are kept in memory and, once Open has named a file, appended to it. Whoever hands
// a line over (the comms thread above all) only formats it and appends it to a buffer under a
// lock held for that long; the log's own writer thread moves the buffer into memory and into
// the file, flushing after each batch: what came within GatherTime of a batch's first line. The log
// is bounded: once the lines of this run would pass the limit, a last line says so and nothing more
// is logged (memory and file alike).
// Where a session tells what goes over its line and how its exchanges end.
class TLogChannel : public TLineObserver
{
public:
    // Any thread: a '!' line, such as why an exchange ended.
    virtual void Note(std::string_view text) = 0;
};

class TDialogueLog : public TLogChannel
{
public:
    static constexpr std::size_t DefaultLimitBytes = 10 * 1024 * 1024;
    static constexpr std::chrono::milliseconds GatherTime{10};

    // Tests give a small limit; the program keeps DefaultLimitBytes.
    explicit TDialogueLog(std::size_t limitBytes = DefaultLimitBytes);
    // Writes out what was handed over, then closes the file.
    ~TDialogueLog() override;
    TDialogueLog(const TDialogueLog&) = delete;
    TDialogueLog& operator=(const TDialogueLog&) = delete;

    // Opens `path` for appending and writes to it the lines kept so far and every later one.
    // Returns why not, worded for the user. Call before anything is sent.
    std::optional<std::string> Open(const std::string& path);

    // Comms thread, from the driver; never waits for the file.
    void CommandSent(std::string_view command) override;
    void LineTaken(std::string_view line) override;
    void LineEvent(TLineEvent event, std::string_view detail) override;
    void Note(std::string_view text) override;

    // The lines of one instrument among several served at once, each opened by `prefix` (its
    // adapter's serial number). The log must outlive it.
    class Channel : public TLogChannel
    {
    public:
        Channel(TDialogueLog& log, std::string prefix);
        void CommandSent(std::string_view command) override;
        void LineTaken(std::string_view line) override;
        void LineEvent(TLineEvent event, std::string_view detail) override;
        void Note(std::string_view text) override;

    private:
        TDialogueLog& Log;
        const std::string Prefix;
    };

    // Any thread: every line so far, the ones not yet written included.
    std::string Text() const;
    // Replaces the file at `path` with Text(). Returns why not, worded for the user.
    std::optional<std::string> SaveTo(const std::string& path) const;
    // Waits until every line handed over so far is in the file (and in Text's memory part).
    void Flush();

    // Bytes as the log shows them.
    static std::string Escaped(std::string_view bytes);

private:
    void TellCommand(std::string_view prefix, std::string_view command);
    void TellLine(std::string_view prefix, std::string_view line);
    void TellEvent(std::string_view prefix, TLineEvent event, std::string_view detail);
    void TellNote(std::string_view prefix, std::string_view text);
    void Add(std::string_view prefix, char mark, std::string_view head, std::string_view text,
             std::string_view tail = {});
    void AppendLine(std::string_view prefix, uint64_t ms, char mark, std::string_view head,
                    std::string_view text, std::string_view tail);
    static std::string LimitText(std::size_t limitBytes);
    void WriteOut();
    void Store(const std::string& batch);

    const std::size_t LimitBytes;
    const std::chrono::steady_clock::time_point Start;
    const std::string LimitNote; // the last line's text

    // Handed over, not yet taken by the writer. Held only to append or swap.
    mutable std::mutex HandMutex;
    std::condition_variable HandSignal; // to the writer: lines are waiting, or stop
    std::condition_variable DoneSignal; // from the writer: a batch is stored
    std::string Pending;
    std::size_t Accepted = 0; // bytes of the lines this run has logged, the last line included
    bool Full = false;
    bool WriterWaits = false;
    bool Stopping = false;
    uint64_t HandedLines = 0;
    uint64_t StoredLines = 0; // of the HandedLines, how many the writer has stored

    // What the writer has taken: kept in memory and written to the file.
    mutable std::mutex StoreMutex;
    std::string Memory;
    std::FILE* File = nullptr;
    std::string FilePath;

    std::thread Writer;
};

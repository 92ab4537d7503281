#pragma once

#include "driver/exchangefacts.h"
#include "driver/linejudge.h"
#include "driver/lineobserver.h"
#include "driver/replypacer.h"
#include "driver/requestlist.h"
#include "driver/silencerule.h"
#include "serial/commsport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Driver modes, stored in the 32-bit Mode flag.
enum TDriverMode : int32_t
{
    ModeIdle = 0,
    ModeCellExchange = 16,
};

// Steps of the cell exchange.
enum TExchangeStep : int32_t
{
    StSend = 1,
    StReadWait = 2,
    StNext = 9,
    StFinish = 10,
    StDone = 11,
    StWriteWait = 22,
};

constexpr uint8_t LeadByte = 0x02;
constexpr uint32_t ReplyLimitMs = 100000;
constexpr int32_t LineBaudRate = 115200;
constexpr int LineBufferSize = 256;
constexpr int MaxCommandLength = LineBufferSize - 1;
// The longest reply line kept whole, its CR counted; a longer one is a failed reply.
constexpr int MaxLineLength = 250;

// The one device driver: frames commands, assembles reply lines and works through request
// lists one command at a time. Everything but Submit and the flags the window reads runs on
// the comms thread, one step per Tick.
//
// Thread safety: the comms thread owns every working field while an exchange runs (Mode is
// ModeCellExchange); the GUI thread touches them only while the driver is idle, and hands an
// exchange over through Submit. Mode, ExchangeRunning, Verdict, LineCount, AskedAtMs and the
// stop flags are atomic and may be read from any thread. Nothing here reports an error: the
// port's failures are kept by TCommsPort, and how an exchange ended by Ending.
class Tsdi12d : public TCommsPort
{
public:
    explicit Tsdi12d(uint32_t replyLimitMs = ReplyLimitMs);

    // Comms thread.
    void Tick();
    void ReceiveByte();
    void SendCommand(const std::string& text);
    void StepCellExchange();
    // Blocks the comms thread while there is nothing to do: until Submit or Wake while idle,
    // and for at most PollSliceMs while waiting for a reply byte that is not there. While a
    // reply comes byte by byte at the line rate it sleeps a few byte times between steps.
    void WaitForWork();

    // GUI thread.
    void Submit(const RequestList& list);
    // GUI thread, while idle. Tests use a short limit; the program keeps ReplyLimitMs.
    void SetReplyLimit(uint32_t milliseconds);
    // GUI thread, while idle. When set, an exchange ends at its first unanswered request
    // instead of going on with the next; that request and all after it stay as they were.
    // Without it, the exchange ends at its first unanswered request only while nothing has
    // answered yet, and otherwise when two requests in a row go unanswered (TSilenceRule).
    void SetEndAtTimeOut(bool end);
    // GUI thread, while idle, after the port was opened: what the other end of the line has
    // shown itself to be is forgotten; the next exchange judges it afresh.
    void StartJudging();
    // GUI thread, while idle: who is told of every command sent, line taken and event on the
    // line, on the comms thread; nullptr for no one. Without one the driver pays a pointer test.
    void SetObserver(TLineObserver* observer);
    // GUI thread: ends the running exchange at once, as if its request had gone unanswered;
    // the request waited for and all after it stay as they were.
    void Stop();
    // Any thread: how long the reply now awaited has been waited for; 0 when none is.
    uint64_t WaitedMs() const;
    // Wakes WaitForWork, for a thread that is asked to stop.
    void Wake();
    // Any thread: ends the running exchange early, more gently than Stop. The command on the
    // wire is never cut; its answer is waited for a short while, then nothing more is sent.
    // Submit clears it.
    void RequestStop();
    // GUI thread, while idle: a flag raised from outside, by a signal handler that can neither
    // lock nor wait, that stops an exchange as RequestStop does; looked at before every
    // command and while a reply is awaited. Null for none.
    void SetStopSource(const std::atomic<int>* source);
    // Any thread but the comms thread: sleeps until the driver is idle or the limit has passed;
    // true when idle. For callers that have nothing else to do while an exchange runs: a
    // waiter that looks at Mode every millisecond disturbs the exchange it waits for (under
    // Wine such a loop slows every port call several times over).
    bool WaitIdle(std::chrono::milliseconds limit);
    // Any thread, once idle: how the last exchange ended.
    TExchangeFacts Ending() const;

    static std::string BuildCommand(const dev_opt& request);
    // The command that writes `value` to `key`, as it goes on the wire after the lead byte.
    static std::string WriteCommand(const std::string& key, const std::string& value);
    // Whether a command fits the driver's buffer; a longer one is never sent.
    static bool CommandFits(const std::string& command)
    {
        return command.size() <= static_cast<std::size_t>(MaxCommandLength);
    }
    static std::string ParseReply(const std::string& line);

    // Milliseconds of a monotonic 64-bit clock; never wraps.
    static uint64_t TickCountMs();
    // Nanoseconds of the same clock, for the waits between the bytes of a reply.
    static int64_t NowNs();

    static constexpr int PollSliceMs = 50;
    static constexpr uint64_t LateReplyGraceMs = 250;
    static constexpr int MaxResyncReads = 4;
    // Bytes taken from the queue before a command; a device that sends more is cut off there.
    static constexpr int MaxUnaskedBytes = 4096;

    // What the window and the session ask; the working fields behind them are the driver's
    // own. Mode hands an exchange over: once Idle, everything the exchange wrote is seen.
    bool Idle() const { return Mode.load(std::memory_order_acquire) == ModeIdle; }
    // The flag the window's enabling follows: raised by the driver when a command goes out
    // and by the GUI thread (Connect, entering the table); lowered by the driver when an
    // exchange ends and by the GUI thread when a commit has nothing to write.
    bool ExchangeRunningRaised() const
    {
        return ExchangeRunning.load(std::memory_order_acquire) != 0;
    }
    void RaiseExchangeRunning() { ExchangeRunning.store(1, std::memory_order_release); }
    void LowerExchangeRunning() { ExchangeRunning.store(0, std::memory_order_release); }
    // What the other end of the line is, as far as judged since StartJudging. An exchange
    // ends as soon as it is judged not to be the instrument.
    TLineVerdict CurrentVerdict() const { return Verdict.load(std::memory_order_acquire); }
    // GUI thread, with no comms thread running: drops an exchange that a comms thread stopped
    // in the middle left behind, so the driver is idle as a new one is.
    void ForgetExchange();

    // The comms thread's own state, for tests that step the driver by hand and for fuzzing.
    int32_t Step() const { return State; }
    int32_t CurrentRequest() const { return RequestIndex; }
    int32_t LinesCompleted() const { return LineCount.load(std::memory_order_acquire); }
    const char* LastLine() const { return CompletedLine; }
    const char* LineSoFar() const { return PartialLine; }
    // The length of the line last completed, its CR counted (an over-long one too).
    uint64_t LastLineLength() const { return CompletedLength; }
    const std::string& LastCommandSent() const { return LastCommand; }
    const std::string& LastReplyTaken() const { return LastReply; }

    static constexpr int32_t NoAnswerSilent = 1;
    static constexpr int32_t NoAnswerStopped = 2;

private:
    // The working fields, named as the driver's design names them.
    std::string LastCommand;
    std::string LastReply;
    RequestList Requests;
    int32_t RequestIndex = 0;
    int32_t RequestCount = 0;
    int32_t State = 0;
    uint64_t Deadline = 0;
    std::atomic<int32_t> ExchangeRunning{0};
    char CompletedLine[LineBufferSize] = {};
    char PartialLine[LineBufferSize] = {};
    std::atomic<int32_t> LineCount{0};
    int32_t LineMark = 0;
    std::atomic<int32_t> Mode{ModeIdle};
    // Raised by the driver when it ended an exchange early because the port's device was gone
    // (unplugged); lowered by the next Submit.
    std::atomic<int32_t> PortLost{0};
    // The request whose reply was longer than MaxLineLength, and that reply's length without
    // its LF; cleared by Submit. Read only once the driver is idle (Mode hands them over).
    const dev_opt* OverlongRequest = nullptr;
    // The request whose command went out last in this exchange; cleared by Submit. Read only
    // once the driver is idle.
    const dev_opt* LastSent = nullptr;
    uint64_t OverlongLength = 0;
    // Every request of this exchange whose reply was too long; cleared by Submit.
    std::vector<const dev_opt*> OverlongRequests;
    // Whether the line last completed was longer than MaxLineLength (CompletedLine is then
    // empty), and its length.
    uint64_t CompletedLength = 0;
    // Set by the driver when it ended an exchange early because nothing answered
    // (NoAnswerSilent) or because it was stopped (NoAnswerStopped); 0 again at the next Submit.
    std::atomic<int32_t> NoAnswer{0};
    std::atomic<TLineVerdict> Verdict{TLineVerdict::Pending};

    bool CompletedLineTooLong() const;
    bool WaitingForReply() const;
    void SendCurrent(dev_opt& request);
    void AwaitReply(dev_opt& request);
    void Finish();
    void AbandonExchange(std::string_view awaitedKey = {});
    void RefuseOverlongReply(dev_opt& request);
    uint64_t GraceMs() const;
    void StartQuietTime();
    bool LineStillBusy();
    bool ConfirmAfterTimeOut();
    void ForgetRepeat();
    static void SleepUntilNs(int64_t wakeAtNs);
    bool TakeUnaskedLines();
    void EndEarly(int32_t why);
    void Judged();
    void TellStrayLine();

    // Set while idle; the Mode handover of Submit orders it before the comms thread's reads.
    std::atomic<TLineObserver*> Observer{nullptr};
    std::atomic<uint32_t> ReplyLimit;
    std::atomic<bool> EndAtTimeOut{false};
    std::atomic<bool> StopRequested{false};   // Stop: end at once
    std::atomic<bool> FinishRequested{false}; // RequestStop: take a prompt answer, send no more
    std::atomic<const std::atomic<int>*> StopSource{nullptr};
    bool FinishAsked() const;
    std::atomic<uint64_t> AskedAtMs{0}; // when the reply awaited was asked for; 0: none
    TSilenceRule Silence;
    TLineJudge Judge;
    int PartialLength = 0;
    uint64_t DroppedLength = 0; // characters of an over-long line counted but not kept
    bool LastReceiveGotByte = false;
    uint8_t LastReceivedByte = 0;
    TReplyPacer Pacer;
    uint64_t QuietUntil = 0;
    uint64_t QuietCap = 0;
    uint64_t ListenUntil = 0; // before the next command, lines are let queue up to be judged
    // Set by a time-out until an answer has been confirmed.
    bool Resync = false;
    int ResyncReads = 0;
    std::string ResyncValue;
    std::mutex WakeMutex;
    std::condition_variable WakeSignal;
    std::condition_variable IdleSignal; // raised when Mode becomes idle
    bool WakeRequested = false;
};

// The one driver of the program, constructed before main runs.
extern Tsdi12d sdi12d;

#include "driver/sdi12d.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

Tsdi12d sdi12d;

namespace {

// The key a request's reply is waited for under.
const std::string& KeyOf(const dev_opt& request)
{
    return request.Operation == OpWrite ? request.WriteKey : request.ReadKey;
}

} // namespace

Tsdi12d::Tsdi12d(uint32_t replyLimitMs) : ReplyLimit(replyLimitMs) {}

void Tsdi12d::ForgetExchange()
{
    State = StDone;
    ExchangeRunning.store(0, std::memory_order_release);
    AskedAtMs.store(0, std::memory_order_release);
    Mode.store(ModeIdle, std::memory_order_release);
}

void Tsdi12d::SetReplyLimit(uint32_t milliseconds)
{
    ReplyLimit.store(milliseconds, std::memory_order_relaxed);
}

void Tsdi12d::SetEndAtTimeOut(bool end)
{
    EndAtTimeOut.store(end, std::memory_order_relaxed);
}

void Tsdi12d::StartJudging()
{
    Judge.Opened();
    Verdict.store(TLineVerdict::Pending, std::memory_order_release);
    ForgetRepeat();
}

void Tsdi12d::SetObserver(TLineObserver* observer)
{
    Observer.store(observer, std::memory_order_relaxed);
}

void Tsdi12d::Stop()
{
    StopRequested.store(true, std::memory_order_release);
    Wake();
}

uint64_t Tsdi12d::WaitedMs() const
{
    const uint64_t askedAt = AskedAtMs.load(std::memory_order_acquire);
    const uint64_t now = TickCountMs();
    return askedAt != 0 && now > askedAt ? now - askedAt : 0;
}

uint64_t Tsdi12d::TickCountMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int64_t Tsdi12d::NowNs()
{
    using namespace std::chrono;
    return static_cast<int64_t>(
        duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

void Tsdi12d::SleepUntilNs(int64_t wakeAtNs)
{
    // Never longer than a poll slice, however slow the line.
    const int64_t latest = NowNs() + int64_t(PollSliceMs) * 1000000;
    const std::chrono::nanoseconds until(std::min(wakeAtNs, latest));
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(until));
}

void Tsdi12d::Tick()
{
    if (Mode.load(std::memory_order_acquire) == ModeCellExchange)
        StepCellExchange();
}

void Tsdi12d::ReceiveByte()
{
    LastReceiveGotByte = false;
    if (!HoldsDevice())
        return;
    uint8_t byte = 0;
    if (ReadByte(&byte) == 0)
        return;
    LastReceiveGotByte = true;
    LastReceivedByte = byte;
    if (byte == '\n') {
        CompletedLength = static_cast<uint64_t>(PartialLength) + DroppedLength;
        if (DroppedLength > 0)
            CompletedLine[0] = '\0'; // an over-long line: nothing of it is kept
        else
            std::memcpy(CompletedLine, PartialLine, static_cast<size_t>(PartialLength) + 1);
        PartialLength = 0;
        DroppedLength = 0;
        PartialLine[0] = '\0';
        LineCount.fetch_add(1, std::memory_order_release);
        return;
    }
    if (byte == '\0')
        return; // the line is a zero-terminated text: a NUL adds nothing
    if (DroppedLength == 0 && PartialLength < MaxLineLength) {
        PartialLine[PartialLength++] = static_cast<char>(byte);
        PartialLine[PartialLength] = '\0';
        return;
    }
    // Too long to be a value: from here on the line is only counted, up to its LF.
    DroppedLength += static_cast<uint64_t>(PartialLength) + 1;
    PartialLength = 0;
    PartialLine[0] = '\0';
}

bool Tsdi12d::CompletedLineTooLong() const
{
    return CompletedLength > static_cast<uint64_t>(MaxLineLength);
}

void Tsdi12d::SendCommand(const std::string& text)
{
    WriteByte(LeadByte);
    for (char c : text)
        WriteByte(static_cast<uint8_t>(c));
    if (TLineObserver* observer = Observer.load(std::memory_order_relaxed))
        observer->CommandSent(text);
}

std::string Tsdi12d::BuildCommand(const dev_opt& request)
{
    if (request.Operation == OpRead)
        return request.ReadKey + "?\r\n";
    if (request.Operation == OpWrite)
        return WriteCommand(request.WriteKey, request.ValueToWrite);
    return {};
}

std::string Tsdi12d::WriteCommand(const std::string& key, const std::string& value)
{
    return key + "=" + value + "\r\n";
}

std::string Tsdi12d::ParseReply(const std::string& line)
{
    std::string value = line;
    const auto cr = value.find('\r');
    if (cr != std::string::npos)
        value.erase(cr, 1);
    return value;
}

void Tsdi12d::Submit(const RequestList& list)
{
    Requests.assign(list.begin(), list.end());
    RequestCount = static_cast<int32_t>(Requests.size());
    State = StSend;
    RequestIndex = 0;
    PortLost.store(0, std::memory_order_relaxed);
    StopRequested.store(false, std::memory_order_relaxed);
    FinishRequested.store(false, std::memory_order_relaxed);
    LastSent = nullptr;
    OverlongRequest = nullptr;
    OverlongLength = 0;
    OverlongRequests.clear();
    NoAnswer.store(0, std::memory_order_relaxed);
    ForgetRepeat();
    ListenUntil = 0;
    Silence.Start(EndAtTimeOut.load(std::memory_order_relaxed));
    {
        // Mode is stored last; under the lock so that a waiting comms thread cannot miss it.
        std::lock_guard<std::mutex> lock(WakeMutex);
        Mode.store(ModeCellExchange, std::memory_order_release);
    }
    WakeSignal.notify_one();
}

void Tsdi12d::Wake()
{
    {
        std::lock_guard<std::mutex> lock(WakeMutex);
        WakeRequested = true;
    }
    WakeSignal.notify_one();
}

bool Tsdi12d::WaitIdle(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(WakeMutex);
    return IdleSignal.wait_for(lock, limit,
                               [this] { return Mode.load(std::memory_order_acquire) == ModeIdle; });
}

TExchangeFacts Tsdi12d::Ending() const
{
    TExchangeFacts facts;
    facts.PortLost = PortLost.load(std::memory_order_acquire) != 0;
    facts.Verdict = Verdict.load(std::memory_order_acquire);
    const int32_t noAnswer = NoAnswer.load(std::memory_order_acquire);
    facts.SilenceEnded = noAnswer == NoAnswerSilent;
    facts.Stopped = noAnswer == NoAnswerStopped;
    facts.FinishRequested = FinishAsked();
    facts.Overlong = OverlongRequests;
    facts.OverlongLength = OverlongLength;
    facts.LastSent = LastSent;
    return facts;
}

bool Tsdi12d::WaitingForReply() const
{
    return State == StReadWait || State == StWriteWait;
}

void Tsdi12d::RequestStop()
{
    FinishRequested.store(true, std::memory_order_release);
    Wake();
}

void Tsdi12d::SetStopSource(const std::atomic<int>* source)
{
    StopSource.store(source, std::memory_order_release);
}

bool Tsdi12d::FinishAsked() const
{
    if (FinishRequested.load(std::memory_order_acquire))
        return true;
    const std::atomic<int>* source = StopSource.load(std::memory_order_acquire);
    return source != nullptr && source->load(std::memory_order_acquire) != 0;
}

void Tsdi12d::WaitForWork()
{
    if (Mode.load(std::memory_order_acquire) == ModeIdle) {
        std::unique_lock<std::mutex> lock(WakeMutex);
        WakeSignal.wait(lock, [this] {
            return WakeRequested || Mode.load(std::memory_order_acquire) != ModeIdle;
        });
        WakeRequested = false;
        return;
    }
    const uint64_t now = TickCountMs();
    if (State == StSend && now < ListenUntil) {
        // Listening: the bytes stay queued, so a wait for them would return at once.
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min<uint64_t>(PollSliceMs, ListenUntil - now)));
        return;
    }
    if (State == StSend && now < QuietUntil) {
        if (!LastReceiveGotByte)
            WaitReadable(static_cast<int>(std::min<uint64_t>(PollSliceMs, QuietUntil - now)));
        return;
    }
    if (!WaitingForReply())
        return;
    switch (Pacer.AfterStep(LastReceiveGotByte, LastReceivedByte, NowNs())) {
    case TReplyPacer::Next::ReadAgain:
        return; // more bytes may be queued: take the next one at once
    case TReplyPacer::Next::Sleep:
        SleepUntilNs(Pacer.WakeAtNs());
        return;
    case TReplyPacer::Next::Poll:
        break;
    }
    const uint64_t left = Deadline >= now ? Deadline - now + 1 : 0;
    const int slice = static_cast<int>(std::min<uint64_t>(PollSliceMs, left));
    if (slice > 0)
        WaitReadable(slice);
}

void Tsdi12d::SendCurrent(dev_opt& request)
{
    ExchangeRunning.store(1, std::memory_order_release);
    if (DeviceLost()) {
        AbandonExchange(); // nothing is sent on a dead port
        return;
    }
    if (FinishAsked()) {
        State = StFinish; // asked to stop: nothing more goes out
        if (TLineObserver* observer = Observer.load(std::memory_order_relaxed))
            observer->LineEvent(TLineEvent::Stopped, "request");
        return;
    }
    if (LineStillBusy())
        return; // a reply that missed its limit may still be on its way: let it arrive first
    const uint64_t now = TickCountMs();
    if (now < ListenUntil)
        return; // what arrives meanwhile stays queued for TakeUnaskedLines
    if (request.Operation == OpWrite && !dev_opt::IsRaised(request.WriteNeeded)) {
        // The user took the edit back after the list was handed over: it must not go out.
        State = StNext;
        return;
    }
    if (!TakeUnaskedLines()) {
        // Not the instrument: nothing goes out, and the exchange ends now instead of
        // asking again at every step.
        RequestIndex = RequestCount;
        State = StFinish;
        return;
    }
    PartialLength = 0;
    DroppedLength = 0;
    PartialLine[0] = '\0';
    LastCommand = BuildCommand(request);
    const bool known = request.Operation == OpRead || request.Operation == OpWrite;
    if (!known || !CommandFits(LastCommand)) {
        // Never send a command cut short: skip it as if unanswered.
        State = StNext;
        return;
    }
    // Whatever is still queued belongs to an earlier command; it must not become this reply.
    DiscardInput();
    SendCommand(LastCommand);
    LastSent = &request;
    Pacer.Start(ByteTimeNs());
    const uint64_t sentAt = TickCountMs();
    AskedAtMs.store(sentAt, std::memory_order_release);
    Deadline = sentAt + ReplyLimit.load(std::memory_order_relaxed);
    LineMark = LineCount.load(std::memory_order_relaxed);
    State = request.Operation == OpRead ? StReadWait : StWriteWait;
}

void Tsdi12d::AwaitReply(dev_opt& request)
{
    ReceiveByte();
    if (LineCount.load(std::memory_order_relaxed) > LineMark) {
        if (CompletedLineTooLong()) {
            RefuseOverlongReply(request);
            return;
        }
        if (TLineObserver* observer = Observer.load(std::memory_order_relaxed))
            observer->LineTaken(CompletedLine);
        if (Resync && !ConfirmAfterTimeOut())
            return;
        AskedAtMs.store(0, std::memory_order_release);
        Silence.Answered();
        const bool read = State == StReadWait;
        State = StNext;
        if (read) {
            LastReply = CompletedLine;
            request.ValueRead = ParseReply(LastReply);
            dev_opt::Raise(request.ResultReady);
            Judge.ReadAnswered(request.ReadKey, request.ValueRead);
            if (Judge.TakeListenRequest())
                ListenUntil = TickCountMs() + GraceMs(); // lines in it count as unasked
            Judged();
        } else {
            dev_opt::Lower(request.WriteNeeded);
        }
        return;
    }
    if (DeviceLost()) {
        AbandonExchange(KeyOf(request));
        return;
    }
    const uint64_t now = TickCountMs();
    if (FinishAsked())
        Deadline = std::min(Deadline, now + GraceMs()); // a prompt answer is still taken
    if (now > Deadline) {
        // No reply in time: the request is left as it was. The next command waits a little,
        // so that a reply arriving just too late is discarded instead of taken as its answer.
        AskedAtMs.store(0, std::memory_order_release);
        State = StNext;
        Resync = true;
        StartQuietTime();
        Judge.TimedOut();
        if (TLineObserver* observer = Observer.load(std::memory_order_relaxed))
            observer->LineEvent(TLineEvent::TimedOut, KeyOf(request));
        if (Silence.Unanswered())
            EndEarly(NoAnswerSilent);
    }
}

// The instrument does not answer: the rest of the list is not sent. The request waited for
// and all after it stay as they were.
void Tsdi12d::EndEarly(int32_t why)
{
    AskedAtMs.store(0, std::memory_order_release);
    NoAnswer.store(why, std::memory_order_release);
    RequestIndex = RequestCount;
    State = StFinish;
}

// Lines that came while no reply was awaited were sent by a device talking by itself; they
// are taken off the queue (so none becomes the next reply) and counted. False when the other
// end has thereby shown itself not to be the instrument: nothing more is sent to it.
bool Tsdi12d::TakeUnaskedLines()
{
    const int32_t before = LineCount.load(std::memory_order_relaxed);
    // The pacing of the reply to come looks at the last byte received: what the drain saw of
    // an empty queue must not change it.
    const bool gotByte = LastReceiveGotByte;
    const uint8_t lastByte = LastReceivedByte;
    int taken = 0;
    for (; taken < MaxUnaskedBytes; ++taken) {
        ReceiveByte();
        if (!LastReceiveGotByte)
            break;
        if (LastReceivedByte == '\n')
            TellStrayLine();
    }
    if (taken == 0) {
        LastReceiveGotByte = gotByte;
        LastReceivedByte = lastByte;
    }
    Judge.UnaskedLines(LineCount.load(std::memory_order_relaxed) - before);
    Judged();
    return Verdict.load(std::memory_order_relaxed) != TLineVerdict::NotInstrument;
}

void Tsdi12d::TellStrayLine()
{
    TLineObserver* observer = Observer.load(std::memory_order_relaxed);
    if (!observer)
        return;
    if (CompletedLineTooLong())
        observer->LineEvent(TLineEvent::StrayLine,
                            "(" + std::to_string(CompletedLength) + " characters)");
    else
        observer->LineEvent(TLineEvent::StrayLine, CompletedLine);
}

void Tsdi12d::Judged()
{
    const TLineVerdict verdict = Judge.Verdict();
    if (verdict == Verdict.load(std::memory_order_relaxed))
        return;
    Verdict.store(verdict, std::memory_order_release);
    if (verdict == TLineVerdict::NotInstrument) {
        RequestIndex = RequestCount; // the rest of the list is not sent
        State = StFinish;
    }
}

// A reply longer than any value cannot be the setting: the request counts as unanswered and
// keeps what it held. The line itself is in step again after the LF.
void Tsdi12d::RefuseOverlongReply(dev_opt& request)
{
    if (OverlongRequest == nullptr) {
        OverlongRequest = &request;
        OverlongLength = CompletedLength;
    }
    OverlongRequests.push_back(&request);
    if (TLineObserver* observer = Observer.load(std::memory_order_relaxed))
        observer->LineEvent(TLineEvent::OverlongReply, std::to_string(CompletedLength));
    AskedAtMs.store(0, std::memory_order_release); // a line came: no longer waiting for one
    State = StNext;
    if (EndAtTimeOut.load(std::memory_order_relaxed))
        RequestIndex = RequestCount;
}

uint64_t Tsdi12d::GraceMs() const
{
    return std::min<uint64_t>(LateReplyGraceMs, ReplyLimit.load(std::memory_order_relaxed));
}

void Tsdi12d::StartQuietTime()
{
    const uint64_t now = TickCountMs();
    QuietUntil = now + GraceMs();
    QuietCap = now + ReplyLimit.load(std::memory_order_relaxed);
}

// During the quiet time every byte that arrives is dropped and moves the end of the quiet time
// on, up to one reply limit: the line must fall silent before the next command goes out.
bool Tsdi12d::LineStillBusy()
{
    LastReceiveGotByte = false;
    const uint64_t now = TickCountMs();
    if (now >= QuietUntil)
        return false;
    uint8_t byte = 0;
    if (ReadByte(&byte) == 1) {
        LastReceiveGotByte = true;
        QuietUntil = std::min(now + GraceMs(), QuietCap);
    }
    return true;
}

// After a time-out the line cannot be trusted: the missing reply may still come, later than
// any quiet time, and would be taken as the answer to the next command. So the first read
// after a time-out is repeated, each time after the line has fallen quiet, until two answers
// agree; a write's answer is followed by a quiet time that drops whatever else comes. Returns
// whether the line just completed may be taken as the answer.
bool Tsdi12d::ConfirmAfterTimeOut()
{
    if (State == StWriteWait) {
        Resync = false;
        StartQuietTime();
        return true;
    }
    const std::string value = ParseReply(CompletedLine);
    if (ResyncReads > 0 && value == ResyncValue) {
        Resync = false;
        ResyncReads = 0;
        return true;
    }
    ResyncValue = value;
    StartQuietTime();
    if (++ResyncReads >= MaxResyncReads) {
        ResyncReads = 0; // no two answers agreed: the record is left as it was
        State = StNext;
        return false;
    }
    State = StSend; // the same read again, once the line is quiet
    return false;
}

void Tsdi12d::AbandonExchange(std::string_view awaitedKey)
{
    // The device is gone: waiting out every remaining limit would keep the window locked for
    // hours. The request in flight and all after it end unanswered, their records untouched
    // (an unanswered write keeps WriteNeeded raised).
    PortLost.store(1, std::memory_order_release);
    if (TLineObserver* observer = Observer.load(std::memory_order_relaxed))
        observer->LineEvent(TLineEvent::Unplugged, awaitedKey);
    RequestIndex = RequestCount;
    State = StFinish;
}

// What a repeat after a time-out heard belongs to its own exchange: a value kept from it
// could confirm, on one answer, a late reply as another setting's value.
void Tsdi12d::ForgetRepeat()
{
    ResyncReads = 0;
    ResyncValue.clear();
}

void Tsdi12d::Finish()
{
    State = StDone;
    ForgetRepeat();
    AskedAtMs.store(0, std::memory_order_release);
    ExchangeRunning.store(0, std::memory_order_release);
    {
        // Under the lock, so that a waiter cannot look at Mode just before it changes and then
        // miss the signal.
        std::lock_guard<std::mutex> lock(WakeMutex);
        Mode.store(ModeIdle, std::memory_order_release);
    }
    IdleSignal.notify_all();
}

void Tsdi12d::StepCellExchange()
{
    if (StopRequested.load(std::memory_order_relaxed) &&
        StopRequested.exchange(false, std::memory_order_acq_rel)) {
        EndEarly(NoAnswerStopped);
        if (TLineObserver* observer = Observer.load(std::memory_order_relaxed))
            observer->LineEvent(TLineEvent::Stopped, "stop");
    }
    dev_opt* current = nullptr;
    if (RequestIndex < RequestCount)
        current = Requests[static_cast<size_t>(RequestIndex)];
    else
        State = StFinish;

    switch (State) {
    case StSend:
        SendCurrent(*current);
        break;
    case StReadWait:
    case StWriteWait:
        AwaitReply(*current);
        break;
    case StNext:
        ResyncReads = 0;
        ++RequestIndex;
        State = StSend;
        break;
    case StFinish:
        Finish();
        break;
    default:
        break;
    }
}

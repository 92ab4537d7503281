#include "sim/instrumentsim.h"

#include "sim/ftdiholdback.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <system_error>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int64_t NsPerSecond = 1000000000;
constexpr int64_t NsPerMs = 1000000;
constexpr int IdlePollMs = 500;
// A command that never ends is dropped once it grows past this, so a stream of garbage
// cannot eat memory.
constexpr std::size_t MaxCommandBytes = 1 << 20;

int64_t NowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * NsPerSecond + now.tv_nsec;
}

// Time for `count` bytes on the wire, rounded up so that a byte is never due early. Split
// into whole seconds and the rest so the product cannot overflow.
int64_t WireNs(int64_t count)
{
    const int64_t rate = TInstrumentSim::WireBytesPerSecond;
    return count / rate * NsPerSecond + ((count % rate) * NsPerSecond + rate - 1) / rate;
}

// Whole bytes that fit into `elapsedNs` of wire time.
int64_t WireBytes(int64_t elapsedNs)
{
    const int64_t rate = TInstrumentSim::WireBytesPerSecond;
    return elapsedNs / NsPerSecond * rate + (elapsedNs % NsPerSecond) * rate / NsPerSecond;
}

void SleepUntilNs(int64_t deadlineNs)
{
    timespec until{};
    until.tv_sec = deadlineNs / NsPerSecond;
    until.tv_nsec = deadlineNs % NsPerSecond;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

// A line hands each byte over when it is due. A timer wakes a sleeper tens of microseconds
// late on a busy or virtual machine, which would make every reply end late by as much; so
// the last stretch before the moment is spent watching the clock. A short stretch: a real
// instrument costs the computer nothing, and watching for 80 us of every 87 kept a processor
// busy through every reply, taking it from the program under test (on a 2-core machine the
// Windows full read under Wine took 1.4 to 1.55 times its wire time beside it, 1.06 to 1.09
// beside 30 us).
void SleepUntilExactlyNs(int64_t deadlineNs)
{
    constexpr int64_t WatchNs = 30000;
    if (deadlineNs - NowNs() > WatchNs)
        SleepUntilNs(deadlineNs - WatchNs);
    while (NowNs() < deadlineNs) {
    }
}

void CloseQuietly(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

[[noreturn]] void ThrowSystemError(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

bool Matches(const std::string& faultKey, const std::string& key)
{
    return !faultKey.empty() && faultKey == key;
}

} // namespace

TInstrumentSim::TInstrumentSim()
{
    try {
        if (openpty(&Master, &Slave, nullptr, nullptr, nullptr) != 0)
            ThrowSystemError("openpty");
        // Raw on the slave side: no echo and no CR/LF translation in either direction.
        termios settings{};
        if (tcgetattr(Slave, &settings) != 0)
            ThrowSystemError("tcgetattr");
        cfmakeraw(&settings);
        if (tcsetattr(Slave, TCSANOW, &settings) != 0)
            ThrowSystemError("tcsetattr");
        char name[128] = {};
        if (ptsname_r(Master, name, sizeof name) != 0)
            ThrowSystemError("ptsname_r");
        SlaveName = name;
        if (fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK) != 0)
            ThrowSystemError("fcntl");
        fcntl(Master, F_SETFD, FD_CLOEXEC);
        fcntl(Slave, F_SETFD, FD_CLOEXEC);
        WakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (WakeFd < 0)
            ThrowSystemError("eventfd");
        Server = std::thread([this] { Serve(); });
        pthread_setname_np(Server.native_handle(), "instrument-sim");
    } catch (...) {
        CloseQuietly(WakeFd);
        CloseQuietly(Slave);
        CloseQuietly(Master);
        throw;
    }
}

TInstrumentSim::~TInstrumentSim()
{
    {
        std::lock_guard<std::mutex> guard(Lock);
        Stopping = true;
    }
    Changed.notify_all();
    Wake();
    Server.join();
    CloseQuietly(WakeFd);
    CloseQuietly(Slave);
    CloseQuietly(Master);
}

bool TInstrumentSim::HasSetting(const std::string& key) const
{
    std::lock_guard<std::mutex> guard(Lock);
    return Settings.Contains(key);
}

std::string TInstrumentSim::Setting(const std::string& key) const
{
    std::lock_guard<std::mutex> guard(Lock);
    return Settings.Value(key);
}

bool TInstrumentSim::SetSetting(const std::string& key, const std::string& value)
{
    std::lock_guard<std::mutex> guard(Lock);
    return Settings.SetValue(key, value);
}

std::string TInstrumentSim::Transcript() const
{
    std::lock_guard<std::mutex> guard(Lock);
    return TranscriptBytes;
}

std::vector<std::string> TInstrumentSim::Commands() const
{
    std::lock_guard<std::mutex> guard(Lock);
    return CommandList;
}

std::size_t TInstrumentSim::CommandCount() const
{
    std::lock_guard<std::mutex> guard(Lock);
    return CommandList.size();
}

void TInstrumentSim::ClearTranscript()
{
    std::lock_guard<std::mutex> guard(Lock);
    TranscriptBytes.clear();
    CommandList.clear();
}

bool TInstrumentSim::WaitForCommands(std::size_t n, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(Lock);
    return Changed.wait_for(guard, timeout, [&] { return CommandList.size() >= n; });
}

void TInstrumentSim::SetReplyDelay(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.ReplyDelay = delay;
}

void TInstrumentSim::SetSwitchedOff(bool off)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.SwitchedOff = off;
}

void TInstrumentSim::SetTalking(std::chrono::milliseconds period)
{
    {
        std::lock_guard<std::mutex> guard(Lock);
        Active.TalkPeriod = period;
    }
    Wake();
}

void TInstrumentSim::SendStrayLine(const std::string& text)
{
    const std::string line = text + "\r\n";
    WriteAll(line.data(), line.size());
}

// Sends the talking device's sentence when it is due; returns the poll time-out until the next.
int TInstrumentSim::TalkIfDue()
{
    std::chrono::milliseconds period;
    {
        std::lock_guard<std::mutex> guard(Lock);
        period = Active.TalkPeriod;
    }
    if (period.count() <= 0) {
        NextTalkNs = 0;
        return IdlePollMs;
    }
    const int64_t now = NowNs();
    if (NextTalkNs == 0)
        NextTalkNs = now;
    if (now >= NextTalkNs) {
        // It talks whether anyone listens or not: a line that finds the queue full is lost.
        const std::string line = std::string(TalkSentence) + "\r\n";
        if (write(Master, line.data(), line.size()) < 0) {
        }
        NextTalkNs = now + std::chrono::nanoseconds(period).count();
    }
    return static_cast<int>((NextTalkNs - now) / 1000000 + 1);
}

void TInstrumentSim::SetSilentKey(const std::string& key)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.SilentKey = key;
}

void TInstrumentSim::SetSilentReads(const std::string& key)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.SilentReadKey = key;
}

void TInstrumentSim::SetSilentWrites(const std::string& key)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.SilentWriteKey = key;
}

void TInstrumentSim::SetLostWriteAnswer(const std::string& key)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.LostAnswerKey = key;
}

void TInstrumentSim::SetLateReply(const std::string& key, std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.LateKey = key;
    Active.LateDelay = delay;
}

void TInstrumentSim::SetJunkBeforeReply(const std::string& junk)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.Junk = junk;
}

void TInstrumentSim::SetOverlongReply(const std::string& key, std::size_t length)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.OverlongKey = key;
    Active.OverlongLength = length;
}

void TInstrumentSim::SetRejectedWrite(const std::string& key)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.RejectedKey = key;
}

void TInstrumentSim::SetNulInReply(const std::string& key)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.NulKey = key;
}

void TInstrumentSim::SetPaced(bool paced)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.Paced = paced;
}

void TInstrumentSim::SetDeliveryFrame(std::chrono::microseconds frame)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.Frame = frame;
}

void TInstrumentSim::SetFtdiHoldBack(std::chrono::microseconds latency, bool eventChar)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.HoldLatency = latency;
    Active.HoldEventChar = eventChar;
}

void TInstrumentSim::SetSplitReplies(std::size_t bytesPerWrite, std::chrono::microseconds pause)
{
    std::lock_guard<std::mutex> guard(Lock);
    Active.SplitBytes = bytesPerWrite;
    Active.SplitPause = pause;
}

void TInstrumentSim::ClearFaults()
{
    std::lock_guard<std::mutex> guard(Lock);
    Active = Faults{};
}

void TInstrumentSim::HangUp()
{
    HangUpRequested = true;
    Wake();
    std::unique_lock<std::mutex> guard(Lock);
    Changed.wait(guard, [&] { return LineDown; });
}

void TInstrumentSim::HangUpAfterCommands(std::size_t n)
{
    if (n == 0) {
        HangUp();
        return;
    }
    std::lock_guard<std::mutex> guard(Lock);
    HangUpCountdown = n;
}

bool TInstrumentSim::HungUp() const
{
    std::lock_guard<std::mutex> guard(Lock);
    return LineDown;
}

// A write wins over a read so that a value ending in "?" is stored as typed.
TInstrumentSim::Request TInstrumentSim::Parse(const std::string& text)
{
    Request request;
    const std::size_t equals = text.find('=');
    if (equals != std::string::npos) {
        request.Type = Request::Kind::Write;
        request.Key = text.substr(0, equals);
        request.Value = text.substr(equals + 1);
    } else if (!text.empty() && text.back() == '?') {
        request.Type = Request::Kind::Read;
        request.Key = text.substr(0, text.size() - 1);
    } else {
        request.Key = text;
    }
    return request;
}

std::string TInstrumentSim::OverlongText(std::size_t length)
{
    std::string text(length, ' ');
    for (std::size_t i = 0; i < length; ++i)
        text[i] = char('a' + i % 26);
    return text;
}

void TInstrumentSim::Serve()
{
    // Paced bytes are due every 87 us; the default timer slack of 50 us would make each
    // wake-up late by most of a byte time.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!Stopping) {
        if (HangUpRequested) {
            CloseLine();
            // Nothing left to serve; stay until the owner lets go.
            std::unique_lock<std::mutex> guard(Lock);
            Changed.wait(guard, [&] { return Stopping.load(); });
            return;
        }
        const int timeoutMs = TalkIfDue();
        pollfd watched[2] = {{Master, POLLIN, 0}, {WakeFd, POLLIN, 0}};
        if (poll(watched, 2, timeoutMs) < 0)
            continue;
        if (watched[1].revents & POLLIN) {
            uint64_t count = 0;
            if (read(WakeFd, &count, sizeof count) < 0) {
            }
        }
        if (watched[0].revents & POLLIN)
            ReceiveAvailable();
        else if (watched[0].revents & (POLLHUP | POLLERR))
            // No reader on the other side: wait instead of spinning on the error.
            poll(&watched[1], 1, IdlePollMs);
    }
}

void TInstrumentSim::ReceiveAvailable()
{
    char buffer[4096];
    const ssize_t got = read(Master, buffer, sizeof buffer);
    if (got <= 0)
        return;
    // Bytes follow each other on the wire at the byte rate. A chunk that finds the line idle
    // is taken to start arriving when it is seen, so a command of n bytes is complete n byte
    // times later: never sooner than a real line could deliver it.
    const int64_t seen = NowNs();
    if (seen >= InBaseNs + WireNs(InBytes)) {
        InBaseNs = seen;
        InBytes = 0;
    }
    for (ssize_t i = 0; i < got && !Interrupted(); ++i) {
        ++InBytes;
        TakeByte(buffer[i], InBaseNs + WireNs(InBytes));
    }
}

void TInstrumentSim::TakeByte(char byte, int64_t arrivalNs)
{
    if (!InCommand) {
        // Anything before a lead byte is line noise.
        if (byte == char(LeadByte)) {
            InCommand = true;
            Pending.assign(1, byte);
        }
        return;
    }
    Pending.push_back(byte);
    if (byte == '\n') {
        InCommand = false;
        std::string command;
        command.swap(Pending);
        HandleCommand(command, arrivalNs);
    } else if (Pending.size() > MaxCommandBytes) {
        InCommand = false;
        Pending.clear();
    }
}

void TInstrumentSim::HandleCommand(const std::string& command, int64_t arrivalNs)
{
    Faults faults;
    {
        std::lock_guard<std::mutex> guard(Lock);
        TranscriptBytes += command;
        CommandList.push_back(command);
        if (HangUpCountdown > 0 && --HangUpCountdown == 0)
            HangUpRequested = true;
        faults = Active;
    }
    Changed.notify_all();
    if (HangUpRequested)
        return;

    std::string text = command.substr(1, command.size() - 2);
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    const Request request = Parse(text);
    if (faults.SwitchedOff || faults.TalkPeriod.count() > 0)
        return;
    if (Matches(faults.SilentKey, request.Key))
        return;
    if (request.Type == Request::Kind::Read && Matches(faults.SilentReadKey, request.Key))
        return;
    if (request.Type == Request::Kind::Write && Matches(faults.SilentWriteKey, request.Key))
        return;
    const std::string reply = ReplyTo(request, faults);
    if (request.Type == Request::Kind::Write && Matches(faults.LostAnswerKey, request.Key))
        return; // stored above, but the answer is lost

    std::chrono::nanoseconds delay = faults.ReplyDelay;
    if (Matches(faults.LateKey, request.Key))
        delay += faults.LateDelay;
    const int64_t startNs = (faults.Paced ? arrivalNs : NowNs()) + delay.count();
    SendReply(reply, startNs, faults);
}

std::string TInstrumentSim::ReplyTo(const Request& request, const Faults& faults)
{
    const std::string& key = request.Key;
    std::string line = "Undefined";
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (Settings.Contains(key)) {
            if (request.Type == Request::Kind::Read) {
                line = Settings.Value(key);
            } else if (request.Type == Request::Kind::Write) {
                if (Matches(faults.RejectedKey, key)) {
                    line = "ERR";
                } else {
                    Settings.SetValue(key, request.Value);
                    line = "OK";
                }
            }
        }
    }
    if (Matches(faults.OverlongKey, key))
        line = OverlongText(faults.OverlongLength);
    if (Matches(faults.NulKey, key))
        line.insert(line.empty() ? 0 : 1, 1, '\0');
    return faults.Junk + line + "\r\n";
}

bool TInstrumentSim::SendReply(const std::string& reply, int64_t startNs, const Faults& faults)
{
    if (faults.Paced && faults.HoldLatency.count() > 0)
        return SendHeld(reply, startNs, faults);
    if (faults.Paced)
        return SendPaced(reply, startNs, faults.Frame.count() * 1000);
    if (!SleepUntil(startNs))
        return false;
    if (faults.SplitBytes > 0)
        return SendSplit(reply, faults);
    return WriteAll(reply.data(), reply.size());
}

bool TInstrumentSim::SendPaced(const std::string& reply, int64_t startNs, int64_t frameNs)
{
    // One byte every 1/WireBytesPerSecond on an absolute schedule: a late wake-up sends
    // everything already due in one write, so delays do not add up.
    if (startNs >= OutBaseNs + WireNs(OutBytes)) {
        OutBaseNs = startNs;
        OutBytes = 0;
    }
    std::size_t sent = 0;
    while (sent < reply.size()) {
        if (Interrupted())
            return false;
        const int64_t now = NowNs();
        const int64_t due = now < OutBaseNs ? 0 : WireBytes(now - OutBaseNs) - OutBytes;
        if (due <= 0) {
            const int64_t next = OutBaseNs + WireNs(OutBytes + 1);
            if (next - now > 2 * NsPerMs) {
                if (!SleepUntil(next))
                    return false;
            } else if (frameNs == 0) {
                SleepUntilExactlyNs(next);
            } else {
                SleepUntilNs(next);
            }
            continue;
        }
        if (frameNs > 0 && now < LastDeliveryNs + frameNs) {
            SleepUntilNs(LastDeliveryNs + frameNs); // what is due waits for the next frame
            continue;
        }
        const std::size_t count = std::min<std::size_t>(std::size_t(due), reply.size() - sent);
        if (!WriteAll(reply.data() + sent, count))
            return false;
        LastDeliveryNs = now;
        sent += count;
        OutBytes += int64_t(count);
    }
    return true;
}

bool TInstrumentSim::SendHeld(const std::string& reply, int64_t startNs, const Faults& faults)
{
    // The bytes reach the chip on the wire schedule of SendPaced; the chip decides when the PC
    // gets them. Held bytes wait in a sleep, not watching the clock: a chip's hand-over comes
    // in USB frames anyway.
    if (startNs >= OutBaseNs + WireNs(OutBytes)) {
        OutBaseNs = startNs;
        OutBytes = 0;
    }
    std::vector<int64_t> arrivalNs(reply.size());
    for (std::size_t i = 0; i < reply.size(); ++i)
        arrivalNs[i] = OutBaseNs + WireNs(OutBytes + int64_t(i) + 1);
    const TFtdiHoldBack chip(faults.HoldLatency.count() * 1000, faults.HoldEventChar);
    const std::vector<int64_t> handOverNs = chip.HandOverTimes(reply, arrivalNs);
    OutBytes += int64_t(reply.size());
    for (std::size_t sent = 0; sent < reply.size();) {
        std::size_t end = sent + 1;
        while (end < reply.size() && handOverNs[end] == handOverNs[sent])
            ++end;
        if (!SleepUntil(handOverNs[sent]) || !WriteAll(reply.data() + sent, end - sent))
            return false;
        sent = end;
    }
    return true;
}

bool TInstrumentSim::SendSplit(const std::string& reply, const Faults& faults)
{
    for (std::size_t sent = 0; sent < reply.size();) {
        const std::size_t count = std::min(faults.SplitBytes, reply.size() - sent);
        if (!WriteAll(reply.data() + sent, count))
            return false;
        sent += count;
        if (sent < reply.size() && !SleepUntil(NowNs() + faults.SplitPause.count() * 1000))
            return false;
    }
    return true;
}

bool TInstrumentSim::WriteAll(const char* data, std::size_t size)
{
    while (size > 0) {
        if (Interrupted())
            return false;
        const ssize_t written = write(Master, data, size);
        if (written > 0) {
            data += written;
            size -= std::size_t(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        // The client's input queue is full: wait for room, or for a stop.
        pollfd watched[2] = {{Master, POLLOUT, 0}, {WakeFd, POLLIN, 0}};
        poll(watched, 2, IdlePollMs);
    }
    return true;
}

bool TInstrumentSim::SleepUntil(int64_t deadlineNs)
{
    for (;;) {
        if (Interrupted())
            return false;
        const int64_t remaining = deadlineNs - NowNs();
        if (remaining <= 0)
            return true;
        if (remaining > 2 * NsPerMs) {
            // Long waits watch the wake-up descriptor so a stop or hang-up ends them.
            pollfd wake{WakeFd, POLLIN, 0};
            poll(&wake, 1, int((remaining - NsPerMs) / NsPerMs));
        } else {
            SleepUntilNs(deadlineNs);
        }
    }
}

bool TInstrumentSim::Interrupted() const
{
    return Stopping || HangUpRequested;
}

void TInstrumentSim::CloseLine()
{
    {
        std::lock_guard<std::mutex> guard(Lock);
        CloseQuietly(Master);
        CloseQuietly(Slave);
        LineDown = true;
    }
    Changed.notify_all();
}

void TInstrumentSim::Wake()
{
    const uint64_t one = 1;
    if (write(WakeFd, &one, sizeof one) < 0) {
    }
}

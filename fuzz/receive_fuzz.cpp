// Arbitrary bytes from the instrument, through line assembly, reply parsing and the update of
// the waiting read's record. The driver runs on this thread alone, one Tick per byte, over a
// socket pair; a model of the receiver, kept apart from the driver, says what every line must
// hold. Any broken promise aborts, and the sanitizers watch the fixed line buffers.
#include "driver/sdi12d.h"
#include "sim/socketlink.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "receive_fuzz: %s\n", what);
    std::abort();
}

void Check(bool holds, const char* what)
{
    if (!holds)
        Fail(what);
}

// The longest line the receiver delivers, and the most its partial buffer may hold.
constexpr size_t LongestLine = MaxLineLength;
constexpr size_t LongestPartial = MaxLineLength;

// What the receiver must have made of the bytes it has taken so far.
class TLineModel
{
public:
    // An over-long line is a failed reply: none of it is kept, however long it runs on.
    void Take(uint8_t byte)
    {
        if (byte == '\n') {
            TooLong = Length > LongestLine;
            Completed = TooLong ? std::string() : Partial;
            Partial.clear();
            Length = 0;
            ++Lines;
            return;
        }
        if (byte == 0)
            return;
        ++Length;
        if (Length > LongestLine)
            Partial.clear();
        else
            Partial.push_back(static_cast<char>(byte));
    }
    void CommandSent()
    {
        Partial.clear();
        Length = 0;
    }

    std::string Partial;
    std::string Completed;
    size_t Length = 0; // of the line so far, NUL bytes left out
    bool TooLong = false;
    int32_t Lines = 0;
};

// The value a reply line carries: the line without its first CR.
std::string ExpectedValue(const std::string& line)
{
    const size_t cr = line.find('\r');
    if (cr == std::string::npos)
        return line;
    return line.substr(0, cr) + line.substr(cr + 1);
}

void CheckParseReply(const std::string& text)
{
    const std::string value = Tsdi12d::ParseReply(text);
    const bool hasCr = text.find('\r') != std::string::npos;
    Check(value.size() + (hasCr ? 1 : 0) == text.size(), "ParseReply removes exactly the first CR");
    Check(value == ExpectedValue(text), "ParseReply keeps everything but the first CR");
}

void CheckLineState(const Tsdi12d& driver, const TLineModel& model)
{
    // Bounded strnlen first: a missing terminator must show as a failure, not as a read on.
    const size_t partial = strnlen(driver.LineSoFar(), LineBufferSize);
    const size_t completed = strnlen(driver.LastLine(), LineBufferSize);
    Check(partial <= LongestPartial, "PartialLine stays within 250 characters");
    Check(completed <= LongestLine, "CompletedLine stays within 250 characters");
    Check(std::memchr(driver.LastLine(), '\n', completed) == nullptr, "no LF in CompletedLine");
    Check(driver.LineSoFar() == model.Partial, "PartialLine holds the bytes of the line so far");
    Check(driver.LastLine() == model.Completed, "CompletedLine holds the last line");
    Check(driver.LinesCompleted() == model.Lines, "LineCount counts every LF taken");
    if (model.Lines > 0)
        Check((driver.LastLineLength() > uint64_t(MaxLineLength)) == model.TooLong,
              "an over-long line is told apart");
}

class TReceiveRun
{
public:
    TReceiveRun() : Link(Driver)
    {
        for (size_t i = 0; i < Count; ++i) {
            Records[i].Magic = BoundMagic;
            Records[i].ReadKey = Keys[i];
            Records[i].WriteKey = Keys[i];
            Records[i].Operation = OpRead;
            List.push_back(&Records[i]);
        }
    }

    void Run(const uint8_t* data, size_t size)
    {
        size_t pos = 0;
        while (pos < size) {
            const size_t current = SendNextRead();
            const uint8_t* lf =
                static_cast<const uint8_t*>(std::memchr(data + pos, '\n', size - pos));
            const size_t end = lf ? static_cast<size_t>(lf - data) + 1 : size;
            Receive(data + pos, end - pos, current);
            pos = end;
        }
    }

private:
    static constexpr size_t Count = 3;
    static constexpr const char* Keys[Count] = {"S1NAM", "S12MID", "TH2R0"};

    // Ticks until the next read command is on the wire, submitting the list again whenever
    // the driver has worked through it. Returns the index of the record waiting for a reply.
    size_t SendNextRead()
    {
        for (int step = 0; step < 16; ++step) {
            if (Driver.Idle()) {
                Check(!Driver.ExchangeRunningRaised(), "ExchangeRunning falls before Mode");
                // Replies that are no numbers where the instrument holds them disown the other
                // end; judging starts afresh, as at the next Connect.
                if (Driver.CurrentVerdict() == TLineVerdict::NotInstrument)
                    Driver.StartJudging();
                Driver.Submit(List);
            }
            Driver.Tick();
            if (Driver.Step() == StReadWait) {
                const size_t current = static_cast<size_t>(Driver.CurrentRequest());
                Check(current < Count, "the request waited for is in the list");
                const std::string expected = std::string(1, static_cast<char>(LeadByte)) +
                                             Records[current].ReadKey + "?\r\n";
                Check(Link.TakeSent() == expected, "a read goes out as lead byte, key, ?, CR LF");
                Model.CommandSent();
                CheckLineState(Driver, Model);
                return current;
            }
        }
        Fail("the driver sends the next read within a few steps");
    }

    // Hands the driver bytes of at most one line, one Tick per byte, checking after each.
    void Receive(const uint8_t* bytes, size_t count, size_t current)
    {
        dev_opt& record = Records[current];
        Link.Feed(std::string(reinterpret_cast<const char*>(bytes), count));
        for (size_t i = 0; i < count; ++i) {
            Check(Driver.Step() == StReadWait, "a read waits until its line is complete");
            Driver.Tick();
            Model.Take(bytes[i]);
            CheckLineState(Driver, Model);
        }
        if (bytes[count - 1] != '\n') {
            Check(Driver.Step() == StReadWait, "an unfinished line leaves the read waiting");
            Check(!dev_opt::IsRaised(record.ResultReady), "no result before the line ends");
            return;
        }
        const bool disowned = Driver.CurrentVerdict() == TLineVerdict::NotInstrument;
        Check(Driver.Step() == (disowned ? StFinish : StNext), "a completed line ends the wait");
        if (Model.TooLong) {
            Check(!dev_opt::IsRaised(record.ResultReady), "an over-long line answers nothing");
            Check((!Driver.Ending().Overlong.empty() && Driver.Ending().Overlong.back() == &record),
                  "the over-long reply is laid to its read");
            Check(record.ValueRead.size() <= LongestLine, "nothing of an over-long line is kept");
            return;
        }
        Check(dev_opt::IsRaised(record.ResultReady), "an answered read raises ResultReady");
        Check(Driver.LastReplyTaken() == Model.Completed, "LastReply is the answering line");
        Check(record.ValueRead == ExpectedValue(Model.Completed), "ValueRead is the parsed line");
        Check(record.ValueRead.find('\n') == std::string::npos, "no LF in ValueRead");
        dev_opt::Lower(record.ResultReady); // as the window does once it has shown the value
        for (const dev_opt& other : Records)
            Check(!dev_opt::IsRaised(other.ResultReady), "one line answers one read");
    }

    Tsdi12d Driver;
    TSocketLink Link;
    dev_opt Records[Count];
    RequestList List;
    TLineModel Model;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckParseReply(std::string(reinterpret_cast<const char*>(data), size));
    TReceiveRun run;
    run.Run(data, size);
    return 0;
}

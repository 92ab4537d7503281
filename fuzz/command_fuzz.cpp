// Arbitrary keys, cell texts and operations in records, through command building and the
// driver's send path over a socket pair. Whatever reaches the wire for one request is either
// nothing (the request is skipped) or one whole command: the lead byte, then the built text of
// at most MaxCommandLength characters ending in CR LF, never cut short. Cell texts pass the
// window's value check first, as in its write pass: a value that reaches the wire holds no
// byte that could end or frame a command. The sanitizers watch for overflows on the way.
#include "driver/sdi12d.h"
#include "driver/valuecheck.h"
#include "sim/socketlink.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "command_fuzz: %s\n", what);
    std::abort();
}

void Check(bool holds, const char* what)
{
    if (!holds)
        Fail(what);
}

bool EndsWithCrLf(const std::string& text)
{
    return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

// The command text a record must produce, from its parts.
std::string ExpectedCommand(const dev_opt& record)
{
    if (record.Operation == OpRead)
        return record.ReadKey + "?\r\n";
    if (record.Operation == OpWrite)
        return record.WriteKey + "=" + record.ValueToWrite + "\r\n";
    return {};
}

// Whether the driver may put a record's command on the wire at all: only a known operation,
// and only a command that fits the sender's buffer whole.
bool MayReachWire(const dev_opt& record, const std::string& command)
{
    const bool known = record.Operation == OpRead || record.Operation == OpWrite;
    return known && command.size() <= static_cast<size_t>(MaxCommandLength);
}

// The value as it travels: no control byte of any kind, so no CR, LF, lead byte or NUL.
void CheckValueOnWire(const std::string& value)
{
    for (const char c : value) {
        const auto byte = static_cast<uint8_t>(c);
        Check(byte >= 0x20 && byte != 0x7F && !(byte >= 0x80 && byte <= 0x9F),
              "no control byte inside a value on the wire");
    }
}

// What the window's write pass hands to the driver: reads, and writes of checked values.
bool WindowWouldSubmit(const dev_opt& record)
{
    if (record.Operation != OpWrite)
        return true;
    return !UnsafeValueReason(record.WriteKey, record.ValueToWrite);
}

void CheckBuiltCommand(const dev_opt& record)
{
    const std::string command = Tsdi12d::BuildCommand(record);
    Check(command == ExpectedCommand(record), "BuildCommand joins key, operation and value");
    if (record.Operation == OpRead || record.Operation == OpWrite)
        Check(EndsWithCrLf(command), "a built command ends in CR LF");
}

void CheckWire(const dev_opt& record, const std::string& wire)
{
    const std::string command = Tsdi12d::BuildCommand(record);
    if (!MayReachWire(record, command)) {
        Check(wire.empty(), "a command that may not go out sends nothing at all");
        return;
    }
    // Framing on its own first, then the exact bytes.
    Check(wire.size() <= static_cast<size_t>(MaxCommandLength) + 1, "at most 255 + lead byte");
    Check(!wire.empty() && static_cast<uint8_t>(wire[0]) == LeadByte, "starts with 0x02");
    Check(EndsWithCrLf(wire), "a command on the wire ends in CR LF");
    Check(wire.compare(1, std::string::npos, command) == 0, "the whole command, never cut");
    if (record.Operation == OpWrite)
        CheckValueOnWire(
            wire.substr(1 + record.WriteKey.size() + 1, wire.size() - record.WriteKey.size() - 4));
}

constexpr int MaxRecords = 4;

void FillRecord(dev_opt& record, FuzzedDataProvider& input)
{
    record.Magic = BoundMagic;
    record.Operation = input.ConsumeIntegralInRange<int32_t>(0, 3);
    record.ReadKey = input.ConsumeRandomLengthString(300);
    // The window uses one key for both; arbitrary input may not.
    record.WriteKey = input.ConsumeBool() ? record.ReadKey : input.ConsumeRandomLengthString(300);
    record.ValueToWrite = input.ConsumeRandomLengthString(600);
    if (record.Operation == OpWrite)
        dev_opt::Raise(record.WriteNeeded);
}

bool JudgedNotInstrument(const Tsdi12d& driver)
{
    return driver.CurrentVerdict() == TLineVerdict::NotInstrument;
}

enum class TServed
{
    Next,    // on to the next request
    Ended,   // the other end is not the instrument: the list ends here
    Waiting, // the driver listens before the next command
};

// Steps the driver through one request: its send step, then, if a command went out, an
// answer line. Checks the bytes on the wire and what became of the record.
TServed Exchange(Tsdi12d& driver, TSocketLink& link, dev_opt& record)
{
    const int32_t index = driver.CurrentRequest();
    driver.Tick();
    const std::string wire = link.TakeSent();
    if (wire.empty() && driver.Step() == StSend) {
        // After a reply that cannot be the setting the driver listens a while before the next
        // command, so that a device talking by itself shows itself: the request waits.
        Check(driver.CurrentRequest() == index, "a request that waits is not skipped");
        return TServed::Waiting;
    }
    CheckWire(record, wire);
    if (wire.empty()) {
        Check(driver.Step() == StNext, "a request that sends nothing is skipped");
    } else {
        Check(driver.Step() == (record.Operation == OpRead ? StReadWait : StWriteWait),
              "a sent command waits for its reply");
        link.Feed("\r\n");
        driver.Tick();
        driver.Tick();
        if (JudgedNotInstrument(driver)) {
            // Empty replies where the instrument holds numbers: nothing more goes out.
            Check(driver.Step() == StFinish, "a device that is not the instrument ends the list");
            return TServed::Ended;
        }
        Check(driver.Step() == StNext, "one reply line answers the command");
    }
    const bool answered = !wire.empty();
    if (record.Operation == OpRead)
        Check(dev_opt::IsRaised(record.ResultReady) == answered,
              "only an answered read has a result");
    if (record.Operation == OpWrite)
        Check(dev_opt::IsRaised(record.WriteNeeded) != answered, "only an answered write is done");
    driver.Tick(); // on to the next request
    Check(driver.CurrentRequest() == index + 1, "requests are served one at a time, in order");
    return TServed::Next;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const int count = input.ConsumeIntegralInRange(1, MaxRecords);
    dev_opt records[MaxRecords];
    RequestList list;
    for (int i = 0; i < count; ++i) {
        FillRecord(records[i], input);
        CheckBuiltCommand(records[i]);
        if (WindowWouldSubmit(records[i]))
            list.push_back(&records[i]);
    }

    Tsdi12d driver;
    TSocketLink link(driver);
    driver.Submit(list);
    for (dev_opt* record : list) {
        const TServed served = Exchange(driver, link, *record);
        if (served == TServed::Waiting)
            driver.Stop(); // not waited out: the listen is real time, the fuzzer's is short
        if (served != TServed::Next)
            break;
    }
    driver.Tick();
    Check(driver.Idle() && !driver.ExchangeRunningRaised(),
          "the driver is idle once the list is done");
    Check(link.TakeSent().empty(), "nothing more goes out after the list");
    return 0;
}

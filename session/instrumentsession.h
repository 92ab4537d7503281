#pragma once

#include "driver/requestlist.h"
#include "serial/adapterlist.h"
#include "serial/portfailure.h"
#include "session/exchangeend.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Tsdi12d;
class TAdapterLocator;
class TLogChannel;
class commthread;
struct TAdapterLocation;

// How a Connect went.
struct TConnectResult
{
    enum class Outcome
    {
        Opened,    // the port is open and the line is being judged
        NotFound,  // the search found no adapter: Problem says why and what to do
        NotOpened, // the port could not be opened: Failure says why
    };
    Outcome Result = Outcome::NotFound;
    std::string Device;     // how the port is named to the user: "COM 5", "/dev/ttyUSB0"
    std::string DevicePath; // the device opened: "COM5:", "/dev/ttyUSB0"
    std::string Problem;    // NotFound: one sentence, ending in "."
    TPortFailure Failure;   // the port's failure; an open port may still have refused settings
    // The adapter opened, when the search listed it.
    std::optional<TAdapterInfo> Adapter;

    bool Opened() const { return Result == Outcome::Opened; }
};

// One instrument's trip, without widgets: finding its adapter, opening the line and judging who
// is on it, the comms thread, handing exchanges to the driver and waiting for them, and why each
// one ended. The window and the command line are two faces over it. The window's session uses
// the program's one driver and locator; a session can be given its own, so that one process
// can serve several instruments. What goes over the line, and how each exchange ended, goes to
// the dialogue log, when there is one.
class TInstrumentSession
{
public:
    // The program's driver and locator, and its dialogue log if it has one.
    TInstrumentSession();
    TInstrumentSession(Tsdi12d& driver, const TAdapterLocator& locator, TLogChannel* log = nullptr);
    // Stops the comms thread before the port is closed: nothing touches the line after.
    ~TInstrumentSession();
    TInstrumentSession(const TInstrumentSession&) = delete;
    TInstrumentSession& operator=(const TInstrumentSession&) = delete;

    // ---- Connecting (driver idle) ----
    // Every adapter the search considers, the one the search takes last; none when a device
    // was named.
    std::vector<TAdapterInfo> Adapters() const;
    // Whether a Connect would find a device now.
    bool AdapterPresent() const;
    // Opens what the search finds (with one adapter or none nothing is asked); `listed` is
    // what Adapters gave just before.
    TConnectResult Connect(const std::vector<TAdapterInfo>& listed);
    // Opens the adapter the user chose.
    TConnectResult Connect(const TAdapterInfo& chosen);
    // Gives the line back: exclusive mark cleared, lock and low-latency flag undone.
    void Disconnect();
    // Takes the port of the last open again, as it was (a Connect the user cancelled).
    void Reopen();
    bool HoldsDevice() const;
    // For runs that end at the first silence, with their own reply limit.
    void EndAtFirstTimeOut(uint32_t replyLimitMs);
    // Ctrl+C and SIGTERM stop this session's exchanges (see TStopSignals).
    void StopOnSignals();

    // ---- The comms thread ----
    void StartThread();
    void StopThread();

    // ---- Exchanges ----
    void Submit(const RequestList& list);
    bool Idle() const;
    // Sleeps until idle or the limit has passed; true when idle.
    bool WaitIdle(std::chrono::milliseconds limit);
    // Submits and waits for the end, calling `waiting` every `step` meanwhile. A signal that
    // came before the submit sends nothing.
    TExchangeEnd Run(const RequestList& list, std::chrono::milliseconds step,
                     const std::function<void()>& waiting,
                     const std::function<bool(const dev_opt&)>& answered);
    // Once idle: why the last exchange ended. `firstUnanswered` is the first request the caller
    // found unanswered, for a run that ends at the first silence.
    TExchangeEnd Conclusion(const dev_opt* firstUnanswered = nullptr) const;
    // Whether the exchange handed over last was submitted (a signal may have come first).
    bool Submitted() const { return WasSubmitted; }
    // Ends the running exchange at once (Esc).
    void Stop();
    // How long the reply now awaited has been waited for; 0 when none is.
    uint64_t WaitedMs() const;
    // What the other end has shown itself to be since Connect.
    TLineVerdict Verdict() const;
    // Milliseconds of the driver's monotonic clock.
    static uint64_t NowMs();

    // The exchange flag the table's enabling follows (raised by Connect and by entering the
    // table, lowered by the driver at an exchange's end and by a commit with nothing to write).
    void RaiseExchangeRunning();
    void LowerExchangeRunning();
    bool ExchangeRunning() const;

    // ---- Write, then read back ----
    // A record set to write `value`, with its read-back asked for.
    static void MarkWrite(dev_opt& record, const std::string& value);
    // A record set to be read, its last result taken.
    static void MarkRead(dev_opt& record);

private:
    TConnectResult Open(const TAdapterLocation& where);

    void Note(const std::string& text) const;

    Tsdi12d& Driver;
    const TAdapterLocator& Locator;
    TLogChannel* const Log;
    std::unique_ptr<commthread> Thread;
    std::unique_ptr<TAdapterLocation> LastOpened;
    bool WatchSignals = false;
    bool WasSubmitted = false;
};

#include "session/instrumentsession.h"

#include "driver/commthread.h"
#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "session/dialoguelog.h"
#include "session/linewords.h"
#include "session/programlog.h"
#include "session/stopsignals.h"

TInstrumentSession::TInstrumentSession() : TInstrumentSession(sdi12d, adapterLocator, ProgramLog())
{
}

TInstrumentSession::TInstrumentSession(Tsdi12d& driver, const TAdapterLocator& locator,
                                       TLogChannel* log)
    : Driver(driver), Locator(locator), Log(log)
{
}

TInstrumentSession::~TInstrumentSession()
{
    StopThread();
    Driver.SetObserver(nullptr);
    Driver.ClosePort();
}

void TInstrumentSession::Note(const std::string& text) const
{
    if (Log != nullptr)
        Log->Note(text);
}

std::vector<TAdapterInfo> TInstrumentSession::Adapters() const
{
    return Locator.Adapters();
}

bool TInstrumentSession::AdapterPresent() const
{
    return Locator.AdapterPresent();
}

// Nothing to choose: the search decides, as it always did (a last listed adapter without a COM
// number is not identified, even when an earlier one has one).
TConnectResult TInstrumentSession::Connect(const std::vector<TAdapterInfo>& listed)
{
    const TAdapterLocation where = Locator.Locate();
    TConnectResult result = Open(where);
    if (where.Found && !listed.empty() && listed.front().PortNumber == where.PortNumber)
        result.Adapter = listed.front();
    return result;
}

TConnectResult TInstrumentSession::Connect(const TAdapterInfo& chosen)
{
    TConnectResult result = Open(TAdapterLocator::LocationOf(chosen));
    result.Adapter = chosen;
    return result;
}

TConnectResult TInstrumentSession::Open(const TAdapterLocation& where)
{
    Driver.ClosePort();
    TConnectResult result;
    result.Device = where.DisplayName;
    result.DevicePath = where.DevicePath;
    if (!where.Found) {
        result.Result = TConnectResult::Outcome::NotFound;
        result.Problem = where.Problem;
        Note("connect: " + where.Problem);
        return result;
    }
    TAdapterLocator::Open(Driver, where, LineBaudRate);
    result.Failure = TPortFailure::Of(Driver);
    if (!Driver.HoldsDevice()) {
        result.Result = TConnectResult::Outcome::NotOpened;
        Note("connect: " + TLineWords::NotOpened(where.DisplayName, result.Failure));
        return result;
    }
    result.Result = TConnectResult::Outcome::Opened;
    LastOpened = std::make_unique<TAdapterLocation>(where);
    Driver.StartJudging();
    Driver.SetObserver(Log);
    Note("connect: " + TLineWords::Opened(where.DisplayName, result.Failure.Kind));
    return result;
}

void TInstrumentSession::Disconnect()
{
    Driver.ClosePort();
}

void TInstrumentSession::Reopen()
{
    if (LastOpened)
        TAdapterLocator::Open(Driver, *LastOpened, LineBaudRate);
}

bool TInstrumentSession::HoldsDevice() const
{
    return Driver.HoldsDevice();
}

void TInstrumentSession::EndAtFirstTimeOut(uint32_t replyLimitMs)
{
    Driver.SetReplyLimit(replyLimitMs);
    Driver.SetEndAtTimeOut(true);
}

void TInstrumentSession::StopOnSignals()
{
    WatchSignals = true;
    Driver.SetStopSource(&TStopSignals::Flag());
}

void TInstrumentSession::StartThread()
{
    if (!Thread)
        Thread = std::make_unique<commthread>(Driver, false);
}

void TInstrumentSession::StopThread()
{
    Thread.reset(); // stops and joins: the driver no longer touches the records
}

void TInstrumentSession::Submit(const RequestList& list)
{
    WasSubmitted = true;
    Driver.Submit(list);
}

bool TInstrumentSession::Idle() const
{
    return Driver.Idle();
}

bool TInstrumentSession::WaitIdle(std::chrono::milliseconds limit)
{
    return Driver.WaitIdle(limit);
}

TExchangeEnd TInstrumentSession::Run(const RequestList& list, std::chrono::milliseconds step,
                                     const std::function<void()>& waiting,
                                     const std::function<bool(const dev_opt&)>& answered)
{
    WasSubmitted = false;
    if (!(WatchSignals && TStopSignals::Received()))
        Submit(list);
    while (!Driver.WaitIdle(step))
        waiting();
    const dev_opt* unanswered = nullptr;
    for (const dev_opt* record : list) {
        if (!answered(*record)) {
            unanswered = record;
            break;
        }
    }
    return Conclusion(unanswered);
}

TExchangeEnd TInstrumentSession::Conclusion(const dev_opt* firstUnanswered) const
{
    TExchangeFacts facts = Driver.Ending();
    if (!WasSubmitted)
        facts = TExchangeFacts{};
    const bool interrupted = WatchSignals && TStopSignals::Received().has_value();
    const TExchangeEnd end = TExchangeEnd::Of(facts, interrupted, firstUnanswered);
    Note("end of exchange: " + end.Described());
    return end;
}

void TInstrumentSession::Stop()
{
    Driver.Stop();
}

uint64_t TInstrumentSession::WaitedMs() const
{
    return Driver.WaitedMs();
}

TLineVerdict TInstrumentSession::Verdict() const
{
    return Driver.CurrentVerdict();
}

uint64_t TInstrumentSession::NowMs()
{
    return Tsdi12d::TickCountMs();
}

void TInstrumentSession::RaiseExchangeRunning()
{
    Driver.RaiseExchangeRunning();
}

void TInstrumentSession::LowerExchangeRunning()
{
    Driver.LowerExchangeRunning();
}

bool TInstrumentSession::ExchangeRunning() const
{
    return Driver.ExchangeRunningRaised();
}

void TInstrumentSession::MarkWrite(dev_opt& record, const std::string& value)
{
    record.ValueToWrite = value;
    record.Operation = OpWrite;
    dev_opt::Raise(record.WriteNeeded);
    dev_opt::Raise(record.ReadBackNeeded);
}

void TInstrumentSession::MarkRead(dev_opt& record)
{
    record.Operation = OpRead;
    dev_opt::Lower(record.ResultReady);
}

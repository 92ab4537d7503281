#include "session/exchangeend.h"

TExchangeEnd TExchangeEnd::Of(const TExchangeFacts& facts, bool interrupted,
                              const dev_opt* firstUnanswered)
{
    TExchangeEnd end;
    end.Overlong = facts.Overlong;
    const auto ended = [&](TEndReason why, const dev_opt* at) {
        end.Why = why;
        end.At = at;
        return end;
    };
    if (interrupted)
        return ended(TEndReason::Interrupted, facts.LastSent);
    if (facts.PortLost)
        return ended(TEndReason::Unplugged, facts.LastSent);
    if (facts.Verdict == TLineVerdict::NotInstrument)
        return ended(TEndReason::NotInstrument, facts.LastSent);
    if (facts.Stopped)
        return ended(TEndReason::Stopped, facts.LastSent);
    if (facts.SilenceEnded)
        return ended(TEndReason::NoAnswer, facts.LastSent);
    if (!facts.Overlong.empty()) {
        end.Length = facts.OverlongLength;
        return ended(TEndReason::Overlong, facts.Overlong.front());
    }
    if (firstUnanswered != nullptr)
        return ended(TEndReason::NoAnswer, firstUnanswered);
    return end;
}

const char* TExchangeEnd::NameOf(TEndReason why)
{
    switch (why) {
    case TEndReason::Completed:
        return "completed";
    case TEndReason::Stopped:
        return "stopped by the user";
    case TEndReason::NoAnswer:
        return "no answer";
    case TEndReason::Unplugged:
        return "unplugged";
    case TEndReason::NotInstrument:
        return "not the instrument";
    case TEndReason::Overlong:
        return "reply too long";
    case TEndReason::Interrupted:
        return "interrupted by a signal";
    }
    return "";
}

std::string TExchangeEnd::Described() const
{
    std::string text = NameOf(Why);
    if (At != nullptr)
        text += " at " + At->ReadKey;
    return text;
}

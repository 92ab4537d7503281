#include "cli/stopreport.h"

#include "cli/exitstatus.h"

namespace {

std::string KeysOf(const RequestList& list, const std::function<bool(const dev_opt&)>& pick)
{
    std::string keys;
    for (const dev_opt* record : list) {
        if (!pick(*record))
            continue;
        keys += keys.empty() ? "" : ", ";
        keys += record->ReadKey;
    }
    return keys.empty() ? "none" : keys;
}

std::string WritingText(const RequestList& list, const TStopReport::Answered& answered,
                        const dev_opt* lastSent)
{
    int confirmed = 0;
    for (const dev_opt* record : list)
        confirmed += answered(*record) ? 1 : 0;
    // In list order: everything up to the last command sent went out, nothing after it.
    bool sent = lastSent != nullptr;
    std::string notSent;
    for (const dev_opt* record : list) {
        if (!sent)
            notSent += (notSent.empty() ? "" : ", ") + record->ReadKey;
        if (record == lastSent)
            sent = false;
    }
    const bool lastUnconfirmed = lastSent != nullptr && !answered(*lastSent);
    return std::to_string(confirmed) + " of " + std::to_string(list.size()) +
           " settings written and answered (" + KeysOf(list, answered) +
           "); sent but not confirmed: " +
           (lastUnconfirmed ? lastSent->ReadKey : std::string("none")) +
           "; not sent: " + (notSent.empty() ? std::string("none") : notSent) +
           ". Nothing was read back: run --compare to see what the instrument holds.";
}

} // namespace

std::string TStopReport::Text(const std::string& cause, Stage stage, const RequestList& list,
                              const Answered& answered, const dev_opt* lastSent)
{
    const std::string& text = cause;
    int done = 0;
    for (const dev_opt* record : list)
        done += answered(*record) ? 1 : 0;
    switch (stage) {
    case Stage::Reading:
        return text + " while reading the settings (" + std::to_string(done) + " of " +
               std::to_string(list.size()) +
               " read). No setting was written and no file was changed.\n";
    case Stage::Writing:
        return text + " while writing: " + WritingText(list, answered, lastSent) + "\n";
    case Stage::ReadingBack:
        return text + " while reading back: every setting was written and answered; not read " +
               "back, so not confirmed: " +
               KeysOf(list, [&](const dev_opt& r) { return !answered(r); }) +
               ". Run --compare to see what the instrument holds.\n";
    }
    return text + ".\n";
}

int TStopReport::ExitStatusFor(TStopSignals::Signal signal)
{
    return signal == TStopSignals::Signal::Interrupt ? ExitStatus::Interrupted
                                                     : ExitStatus::Terminated;
}

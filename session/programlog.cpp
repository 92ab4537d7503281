#include "session/programlog.h"

#include <atomic>

namespace {

std::atomic<TDialogueLog*> Current{nullptr};

} // namespace

TDialogueLog* ProgramLog()
{
    return Current.load(std::memory_order_acquire);
}

TDialogueLog& StartProgramLog()
{
    // Made on the first call, at start-up: exit handlers run in reverse order of
    // registration, so the stop of the comms threads, registered later, runs before this
    // log is destroyed.
    static TDialogueLog log;
    Current.store(&log, std::memory_order_release);
    return log;
}

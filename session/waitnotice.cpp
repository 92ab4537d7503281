#include "session/waitnotice.h"

std::string TWaitNotice::Suffix(uint64_t waitedMs)
{
    if (!Shows(waitedMs))
        return {};
    return " - no answer for " + std::to_string(waitedMs / 1000) + " s (Esc stops)";
}

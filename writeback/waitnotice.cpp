#include "writeback/waitnotice.h"

QString TWaitNotice::Suffix(uint64_t waitedMs)
{
    if (!Shows(waitedMs))
        return {};
    return QStringLiteral(" - no answer for %1 s (Esc stops)").arg(waitedMs / 1000);
}

#pragma once
// The program-wide objects as a fresh program has them, for tests that make one window after
// another in the same process.
#include "../driver/testrecords.h"
#include "driver/sdi12d.h"
#include "window/mainform.h"

#include <cstdint>

inline void ResetProgramWideObjects(uint32_t replyLimitMs)
{
    for (dev_opt& record : cellTable)
        ClearRecord(record);
    InitialReadList.clear();
    PendingSaves = 0;
    TypedSinceSave = 0;
    sdi12d.LowerExchangeRunning();
    sdi12d.SetReplyLimit(replyLimitMs);
}

#pragma once

#include "driver/dev_opt.h"

#include <ostream>
#include <vector>

// The settings whose value, as the instrument last reported it, looks wrong (text where it
// holds a number). Such an instrument is read and written as any other; the run only says so.
class TLookWrongReport
{
public:
    // Names each such setting on `err`. A run that would end with Done or NotAsInFile ends
    // with ValuesLookWrong instead while there is one; any other status is kept.
    static int StatusAfter(int status, const std::vector<dev_opt>& records, std::ostream& err);
};

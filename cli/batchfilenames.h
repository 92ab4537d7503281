#pragma once

#include "serial/adapterlist.h"

#include <string>
#include <vector>

// The files a batch --read DIR (and --report DIR) writes: DIR/<serial number>.txt for each adapter,
// named after its port when it has no serial number. The name comes from the device, so only
// letters, digits, "-" and "_" are kept (no path, no "..", no control character), a name that
// Windows takes for a device (CON, NUL, COM5, ...) gets a "_", and adapters whose names would meet
// (cloned adapters share serial numbers; folders may ignore case) get their port added, so
// that no instrument's file replaces another's.
class TBatchFileNames
{
public:
    // One path per adapter, in the same order, ending in `extension` (--report's ".pdf").
    static std::vector<std::string> For(const std::vector<TAdapterInfo>& adapters,
                                        const std::string& folder,
                                        const std::string& extension = ".txt");
};

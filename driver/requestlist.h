#pragma once

#include "driver/dev_opt.h"

#include <vector>

// An ordered list of references to records, without ownership. Built by the window in
// ascending slot order and copied by the driver on Submit.
using RequestList = std::vector<dev_opt*>;

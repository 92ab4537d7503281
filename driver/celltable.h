#pragma once

#include "driver/dev_opt.h"

#include <array>

// The window's fixed table of records, alive for the whole run; records never move, so
// references to them stay valid. Only the first CellTableUsed slots are ever scanned.
constexpr int CellTableSize = 1000;
constexpr int CellTableUsed = 300;
using CellTable = std::array<dev_opt, CellTableSize>;

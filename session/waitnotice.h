#pragma once

#include <cstdint>
#include <string>

// What the count at the bottom right adds while a reply is overdue: how long nothing has
// answered, and that Esc stops the exchange.
class TWaitNotice
{
public:
    static constexpr uint64_t ShowAfterMs = 2000;

    // Whether the notice shows (and Esc stops the exchange).
    static bool Shows(uint64_t waitedMs) { return waitedMs >= ShowAfterMs; }
    // " - no answer for 5 s (Esc stops)"; empty while the wait is shorter.
    static std::string Suffix(uint64_t waitedMs);
};

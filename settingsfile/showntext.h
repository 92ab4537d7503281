#pragma once

#include <cstddef>
#include <string>

// Text from outside (the instrument, a file, a file name) as a terminal or a message may show
// it: printable UTF-8 is kept; control characters (C0, DEL, C1) and bytes that are not UTF-8
// become \xNN, so that nothing can act on the terminal; text longer than `limit` characters
// is cut, with a note of its length.
class TShownText
{
public:
    static constexpr std::size_t NameLimit = 200;

    static std::string Of(const std::string& utf8, std::size_t limit = NameLimit);
};

#pragma once

#include <QString>

#include <optional>

// Whether Close asks before the program ends: edits the instrument has not confirmed would be
// lost without a word.
class TCloseQuestion
{
public:
    enum class Choice
    {
        SaveFirst,
        Close,
        Cancel,
    };

    // The question for that many unconfirmed edits; none when there are none.
    static std::optional<QString> Text(int unconfirmedEdits);
};

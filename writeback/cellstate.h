#pragma once

#include <QString>

#include <optional>
#include <string>

// Where the user's latest edit of a cell stands.
enum class TEditStage
{
    None,             // no edit since the cell was last confirmed
    NotSent,          // edited; goes out with the next commit
    Unsafe,           // edited to a text that is never sent
    AwaitingAnswer,   // handed to the driver; the write's answer is awaited
    AwaitingReadBack, // the write was answered; the read-back is awaited
    Unanswered,       // the write or its read-back went unanswered; sent again at the next commit
    Confirmed,        // a read showed the instrument holding the edit
    NotTaken,         // answered, but the read-back showed the instrument keeping its own value
};

// Everything the window knows about one bound cell. The cell shows the edit while there is one,
// otherwise what the instrument last reported.
struct TCellState
{
    // What the instrument is known to hold; empty while unknown (since the last Connect, until
    // a read of it is answered).
    std::optional<std::string> Instrument;
    // The user's latest edit while it is not yet confirmed; may hold characters beyond Latin-1.
    std::optional<QString> Edit;
    TEditStage Stage = TEditStage::None;
    // The text handed to the driver by the last write pass.
    std::string Sent;
    // Written since the last Connect, and what the instrument held before the first of those
    // writes (empty while it was not known), for the report.
    bool Written = false;
    std::string Before;
    // The value the instrument kept over the write of Sent (NotTaken).
    std::string Kept;
    // Why Edit is never sent (Unsafe).
    QString UnsafeReason;
    // A read of this setting is on its way; whether the last one went unanswered.
    bool ReadPending = false;
    bool ReadUnanswered = false;
    // The last read's reply was longer than any setting: nothing of it was kept.
    bool ReadOverlong = false;

    bool HasPendingEdit() const
    {
        return Stage == TEditStage::NotSent || Stage == TEditStage::Unanswered;
    }
};

#pragma once

#include <QString>

// What a screen reader is told as the window's state moves on: the status text when it changes
// (Connect's result, a failure), the end of a read or of a save, and the count of settings not
// confirmed when it changes. Each update gives one sentence or several, or nothing.
class TAnnouncement
{
public:
    struct State
    {
        QString Status;
        bool Reading = false;
        bool Saving = false;
        // The count beside the status text, empty while it is not shown.
        QString Count;
    };

    static constexpr const char* ReadFinished = "Read finished";
    static constexpr const char* SaveFinished = "Save finished";
    static constexpr const char* AllConfirmed = "All settings confirmed";

    // The words for what changed since the last state; empty when nothing worth telling did.
    // The first state is the window as it opens and is not announced.
    QString Next(const State& now);

    // The status bar as assistive technology names it: the status text and the count.
    static QString StatusName(const State& state);

private:
    State Last;
    bool Started = false;
};

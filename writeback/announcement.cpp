#include "writeback/announcement.h"

#include <QStringList>

QString TAnnouncement::Next(const State& now)
{
    const State last = Last;
    Last = now;
    if (!Started) {
        Started = true;
        return {};
    }
    QStringList sentences;
    if (now.Status != last.Status && !now.Status.isEmpty())
        sentences << now.Status.trimmed();
    if (last.Reading && !now.Reading)
        sentences << QString::fromLatin1(ReadFinished);
    if (last.Saving && !now.Saving)
        sentences << QString::fromLatin1(SaveFinished);
    // While reading the count is the progress, which would be read out at every tick.
    if (!now.Reading && now.Count != last.Count) {
        if (!now.Count.isEmpty())
            sentences << now.Count;
        else if (!last.Reading)
            sentences << QString::fromLatin1(AllConfirmed);
    }
    return sentences.join(QStringLiteral(". "));
}

QString TAnnouncement::StatusName(const State& state)
{
    QString name = QStringLiteral("Status: ") + state.Status.trimmed();
    if (!state.Count.isEmpty())
        name += QStringLiteral(". ") + state.Count;
    return name;
}

#pragma once
// A small text file for a test, in a folder the test owns.
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// The file's path, or an empty text when it could not be written.
inline QString WriteTextFile(const QTemporaryDir& folder, const QString& name,
                             const QByteArray& text)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return {};
    return path;
}

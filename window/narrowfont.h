#pragma once

#include <QFont>

// The narrow sans that keeps long coefficients readable in the tables' 64-pixel columns.
// Where the system lacks it (Windows), the copy shipped in the program's "fonts" folder is
// loaded.
class TNarrowFont
{
public:
    static const char* const Family;
    // The narrow font at this pixel size, or `fallback` when there is none.
    static QFont At(int pixelSize, const QFont& fallback);
    static bool Available();
};

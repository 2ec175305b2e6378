#pragma once

#include <QString>

// A name made safe for one line of text output: control characters (a
// newline in a file name, an escape sequence meant for the terminal) are
// written as \xHH. JSON output carries names unchanged.
QString printable(const QString &text);

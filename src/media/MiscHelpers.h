#pragma once

#include <QString>

class QObject;

// Percent-encodes text for the query of a web search: ASCII letters and
// digits stay, every other character up to U+00FF becomes "%" and two
// upper-case hexadecimal digits of its code point. Characters beyond U+00FF
// are written as the "%XX" escapes of their UTF-8 bytes, since a longer
// hexadecimal number after "%" would read back as a different character.
QString encodeURL(const QString &text);

// A message dialog with up to three buttons, shown by the desktop hooks.
// Returns 1 for the action button, 2 for cancel, 3 for the alternate, else 0.
int ShowMessageDialog(QObject *window, const QString &kind, const QString &actionCaption,
                      const QString &cancelCaption, const QString &alternateCaption, const QString &message,
                      const QString &explanation);

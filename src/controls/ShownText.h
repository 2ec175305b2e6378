#pragma once

#include <QString>

// Texts that come from data (file names, movie titles) or are written with
// a literal "&" ("Download & Quit"): buttons and menu items would take the
// character after an "&" for an access key and hide the "&". Doubling it
// shows the text as written.
inline QString captionAsWritten(const QString &text)
{
    QString shown = text;
    return shown.replace(QLatin1Char('&'), QLatin1String("&&"));
}

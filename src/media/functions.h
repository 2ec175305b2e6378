#pragma once

#include <QString>

// The text form of the value with "0" put in front up to `width` characters;
// never shortened.
QString ZeroPad(qint64 value, int width);
QString ZeroPad(const QString &text, int width);

// Makes a new private folder (mode 0700) in the system's temporary folder,
// named after the application's reverse-domain identifier with a random
// suffix, and returns its native path; empty text when it cannot be made.
// The folder is left in place for the caller.
QString getTempDir();

// The application's name as its folders are called: "Lumbra2_debug".
QString AppName();

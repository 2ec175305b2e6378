#pragma once

#include <QString>
#include <QStringView>

// Conversions between seconds and subtitle time strings (HH:MM:SS,mmm), and
// the lenient number reading the subtitle and player code share.
namespace subsModule {

// The time string for a number of seconds: "01:02:05,500" for 3725.5. The
// seconds part is rounded after the minutes are taken off, so 59.9996 gives
// "00:00:60,000". Hours take more than two digits when needed. A value that
// is not a finite number gives "00:00:00,000".
QString secondsToTimestring(double seconds);

// The seconds of a time string; "," and "." both separate the milliseconds.
// Returns -1 unless the text has exactly three ":"-separated fields.
double timeStringToSeconds(const QString &text);

// Reads the number at the start of `text` (after leading blanks): an optional
// sign, digits, an optional fraction and exponent. Text that does not start
// with a number reads as 0, as does anything that is not finite.
double readNumber(QStringView text);

// True when the whole text, blanks around it aside, is a number.
bool isNumber(QStringView text);

// A double truncated towards zero and clamped into the 32-bit range.
int truncateToInt(double value);

} // namespace subsModule

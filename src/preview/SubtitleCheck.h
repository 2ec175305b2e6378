#pragma once

#include <QString>

// Whether a file is a subtitle that can be offered to the service: it reads
// as text and, in the formats we read (SRT, SUB), holds at least one cue. A
// file named .srt may be anything.
namespace SubtitleCheck {

// Why the file is not such a subtitle, in words for the user; empty when it is.
QString refusal(const QString &path);

} // namespace SubtitleCheck

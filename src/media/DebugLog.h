#pragma once

#include <QString>

// Where Lumbra's own debug lines go. The command-line tool keeps its stderr
// for progress, warnings and errors; the desktop application keeps the
// terminal for warnings and errors and writes the rest to its debug log
// file, beside the timing traces. QT_LOGGING_RULES still turns categories on
// and off over what is set here.
namespace DebugLog {

// The command-line tool: no logging category's line reaches stderr unless
// `verbose`; the commands say in words what the user needs to know.
void quietUnlessVerbose(bool verbose);

// The desktop application: debug and info lines are appended to the log file
// (MethodProfiler::logFilePath()); warnings and worse go where they went.
void sendToLogFile();

// Appends one line to the log file; safe from any thread.
void append(const QString &line);

} // namespace DebugLog

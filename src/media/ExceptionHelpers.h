#pragma once

#include <QString>

#include <exception>

// The text of the message shown for an error nobody handled:
// "Exception: <kind>.\n\n<message>." with "No further details available"
// standing in for an empty message.
QString ShowExceptionText(const QString &kind, const QString &message);

// The kind label of an error ("out of bounds", "out of memory", "illegal
// cast", "RegEx error", ... and "runtime error" for anything else).
QString exceptionKind(const std::exception &error);

// The message text for a caught error; a non-standard error gives
// "runtime error" with no details.
QString ShowExceptionText(const std::exception_ptr &error);

// Reports the error through the desktop hooks. Never throws.
void ShowException(const std::exception_ptr &error);

#pragma once

#include <QByteArray>
#include <QString>

// The text encodings a subtitle file is read in.
enum class TextEncoding { UTF16, UTF8, ASCII, Latin1 };

// Guesses the encoding of a subtitle file's bytes from its byte-order mark,
// the spread of zero bytes and a UTF-8 well-formedness walk.
TextEncoding GuessEncoding(const QByteArray &bytes);

// As above; `swapped` tells whether the bytes' UTF-16 byte order is the
// opposite of the host's (only meaningful for UTF16; false otherwise).
TextEncoding GuessEncoding(const QByteArray &bytes, bool &swapped);

// The bytes decoded in the guessed encoding, without a byte-order mark.
QString decodeText(const QByteArray &bytes);

// A short name of an encoding for messages and the command line:
// "UTF-16", "UTF-8", "ASCII" or "ISO-8859-1".
QString encodingName(TextEncoding encoding);

#pragma once

#include "common/Types.h"

#include <QByteArray>
#include <QString>

class QDomDocument;

// The text form of the preference file: a property list holding one
// dictionary. Pure conversions; the store (XPrefs) owns the file and the values.
//
// Shape written: the XML declaration, a comment carrying the plist document
// type, then <plist> holding one <dict> in which every <key> is followed by
// its value element; a line feed between adjacent tags, no indentation.
// Values: bool -> <true/>/<false/>, integers -> <integer>, double ->
// <real>, text -> <string>, Date -> <date> (UTC, YYYY-MM-DDTHH:MM:SSZ, read
// back as local time), QByteArray -> <data> (base64), an empty value ->
// empty <data>, Dictionary/QVariantMap -> <dict>, lists -> <array> whose
// elements each follow a <key> holding their index. Text of other writers
// (other declarations, indentation, arrays without index keys) reads too;
// control characters XML cannot carry are dropped on writing.
namespace PlistCodec {

struct Decoded {
    Dictionary values;
    QString error; // empty when the text was a whole property list
    // With an error: the pairs of the top dictionary read whole before the
    // damage (a file cut short at its end loses nothing).
    Dictionary recovered;

    bool ok() const { return error.isEmpty(); }
};

// Reads a whole property list. Malformed, truncated or too deeply nested
// text gives no values and the reason, with its line, and what could be
// recovered.
Decoded decode(const QByteArray &bytes);

// The document of `values`, and its text: encode() = text(document()).
// Split so that a caller can report progress between the two steps.
QDomDocument document(const Dictionary &values);
QString text(const QDomDocument &doc);
QString encode(const Dictionary &values);

} // namespace PlistCodec

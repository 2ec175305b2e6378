#pragma once

#include "common/Types.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QString>

#include <functional>

// The XML-RPC value codec: turns a Variant into a typed value element and back,
// plus the small number and date routines that the codec and its callers use.
// Everything here is stateless and may run on any thread.
namespace XMLRPC {

// No document the service sends nests values nearly this deep. Deeper input
// is refused: reading it on would exhaust the stack.
constexpr int MaxNesting = 64;

// The XML-RPC element name for the kind of value `v` holds: "array", "int",
// "double" (also for 64-bit integers, which is how file sizes travel),
// "dateTime.iso8601", "string", "struct" (a Dictionary), "boolean", or empty
// text for anything else (nil, a Pair, a float, ...).
QString GuessType(const Variant &v);

// A Pair is returned unchanged, so a caller can force an element name (such as
// "base64" or "i4"); anything else becomes {GuessType(v), v}.
Pair VariantToPair(const Variant &v);

// Builds the typed value element for `p` (Left: element name, Right: value),
// owned by `doc` but not attached anywhere. An empty element name gives a null
// element: appending it is a no-op, so a nil inside an array or struct becomes
// an empty "value", which XML-RPC reads as empty text.
QDomElement Encode(const Pair &p, QDomDocument &doc);

// Decodes the type element found inside a "value" element. A null node gives
// empty text (an empty "value"); numbers always come back as double; structs as
// Dictionary; arrays as VariantList; base64 as the decoded QByteArray; unknown
// elements and bare text as nil.
// Values nested deeper than MaxNesting decode as nil.
Variant Decode(const QDomNode &node);
// The same; values nested deeper than MaxNesting give nil and an `error`
// that says so (empty when the value decoded).
Variant Decode(const QDomNode &node, QString &error);

// A whole XML-RPC document (a methodResponse or a methodCall) read straight
// from its bytes.
struct ParsedDocument {
    QString methodName;   // a methodCall's method name
    VariantList params;   // each param's value, decoded as Decode does
    bool isFault = false; // a methodResponse that holds a "fault"
    Variant fault;        // the fault's value (a struct of faultCode, faultString)
    QString error;        // why the bytes are not an XML-RPC document; empty when they are

    bool ok() const { return error.isEmpty(); }
};

// Reads `xml` with a streaming parser into the same values that Decode gives
// for each param, only faster and keeping text that is nothing but spaces
// (Qt 6.4's DOM parser drops such text, so "<string> </string>" would decode
// as empty text there). Time and memory grow linearly with the document;
// values nested deeper than MaxNesting, a document type declaration and
// namespace prefixes make the document an error.
ParsedDocument ParseDocument(const QByteArray &xml);

// A large array of a reply handed to its reader entry by entry, as the
// entries are read, so that the reply's decoded tree never holds them all.
// The array is the value of the member named `member` (letter case aside) of
// the struct that is the first param; in the tree that member is left as an
// empty array. `begin` is called as such an array starts: a struct that
// repeats the member replaces the entries handed before, as its tree would.
// Entries handed on count only when the whole document turns out to be a
// reply (ok(), no fault) whose member is still an array.
struct EntryStream {
    QString member;
    std::function<void()> begin;
    std::function<void(Variant &&entry)> entry;
};

// ParseDocument, with the entries of `stream`'s array handed to it.
ParsedDocument ParseDocumentStreamed(const QByteArray &xml, const EntryStream &stream);

// The same with QXmlStreamReader, slower and less strict; the reference that
// ParseDocument is checked against. Not for untrusted input: Qt's reader
// takes quadratic time on some shapes of it.
ParsedDocument ParseDocumentWithQt(const QByteArray &xml);

// Reads "YYYYMMDDTHH:MM:SS" (date separators optional, anything after the
// seconds ignored) as a local date and time. Text that does not match gives the
// current date and time.
Date ParseISO8601(const QString &text);

// `n` in decimal, padded with zeros after any minus sign to `width` characters.
QString CeroPad(qint64 n, int width);

// Formats `x` with a pattern of "#" placeholders: an optional leading "-"
// shows the sign of negative values, an optional "." and "#"s allow up to that
// many fraction digits. Trailing fraction zeros and a trailing "." are dropped.
QString MyFormat(double x, const QString &format);

} // namespace XMLRPC

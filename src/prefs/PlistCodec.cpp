#include "prefs/PlistCodec.h"

#include <QDomDocument>
#include <QLocale>
#include <QXmlStreamReader>

using namespace Qt::Literals::StringLiterals;

namespace PlistCodec {
namespace {

// ---- Reading

// No file we or any other writer make nests nearly this deep; a deeper one is
// damaged or hostile, and reading it on would exhaust the stack.
constexpr int MaxNesting = 64;

bool readValue(QXmlStreamReader &r, Variant &out, int depth);

// Stops the reader with an error once a container lies too deep.
bool tooDeep(QXmlStreamReader &r, int depth)
{
    if (depth <= MaxNesting)
        return false;
    r.raiseError(u"dictionaries and arrays nested more than %1 deep"_s.arg(MaxNesting));
    return true;
}

// Reads the pairs of a <dict> up to its end tag. A key followed by another
// key or by an unknown element is dropped.
Dictionary readDict(QXmlStreamReader &r, int depth)
{
    if (tooDeep(r, depth))
        return {};
    Dictionary dict;
    QString key;
    bool haveKey = false;
    while (r.readNextStartElement()) {
        if (r.name() == "key"_L1) {
            key = r.readElementText();
            haveKey = true;
            continue;
        }
        Variant value;
        // A value the reader broke off in is not taken: only whole pairs are
        // recovered from a damaged file.
        if (readValue(r, value, depth) && haveKey && !r.hasError())
            dict.insert(key, value);
        haveKey = false;
    }
    return dict;
}

// Reads an <array>. Our files put each element after a <key> holding its
// index; other writers omit the keys. The elements are taken in order.
VariantList readArray(QXmlStreamReader &r, int depth)
{
    if (tooDeep(r, depth))
        return {};
    VariantList list;
    while (r.readNextStartElement()) {
        if (r.name() == "key"_L1) {
            r.skipCurrentElement();
            continue;
        }
        Variant value;
        readValue(r, value, depth);
        list.append(value);
    }
    return list;
}

Variant readInteger(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    const qlonglong whole = t.toLongLong(&ok);
    if (ok)
        return whole >= INT_MIN && whole <= INT_MAX ? Variant(int(whole)) : Variant(whole);
    // A fraction is dropped.
    const double d = t.toDouble(&ok);
    if (ok && d >= double(INT_MIN) && d <= double(INT_MAX))
        return Variant(int(d));
    return Variant();
}

// YYYY-MM-DDTHH:MM:SSZ, read by position, taken as UTC and given back in
// local time.
Variant readDate(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() < 19)
        return Variant();
    bool ok[6] = {};
    const int year = t.mid(0, 4).toInt(&ok[0]);
    const int month = t.mid(5, 2).toInt(&ok[1]);
    const int day = t.mid(8, 2).toInt(&ok[2]);
    const int hour = t.mid(11, 2).toInt(&ok[3]);
    const int minute = t.mid(14, 2).toInt(&ok[4]);
    const int second = t.mid(17, 2).toInt(&ok[5]);
    for (bool b : ok) {
        if (!b)
            return Variant();
    }
    const QDateTime utc(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
    if (!utc.isValid())
        return Variant();
    return utc.toLocalTime();
}

// Reads the value element the reader stands on, up to its end tag. Returns
// false for an element that is not a value. `depth` counts the containers
// around it.
bool readValue(QXmlStreamReader &r, Variant &out, int depth)
{
    const QStringView name = r.name();
    if (name == "true"_L1 || name == "false"_L1) {
        out = name == "true"_L1;
        r.skipCurrentElement();
    } else if (name == "integer"_L1) {
        out = readInteger(r.readElementText());
    } else if (name == "real"_L1) {
        bool ok = false;
        const double d = r.readElementText().trimmed().toDouble(&ok);
        out = ok ? Variant(d) : Variant();
    } else if (name == "string"_L1) {
        out = r.readElementText();
    } else if (name == "date"_L1) {
        out = readDate(r.readElementText());
    } else if (name == "data"_L1) {
        const QString text = r.readElementText();
        out = text.trimmed().isEmpty() ? Variant() : Variant(QByteArray::fromBase64(text.toLatin1()));
    } else if (name == "array"_L1) {
        out = readArray(r, depth + 1);
    } else if (name == "dict"_L1) {
        out = QVariant::fromValue(readDict(r, depth + 1));
    } else {
        out = Variant();
        r.skipCurrentElement();
        return false;
    }
    return true;
}

// ---- Writing

// XML 1.0 cannot carry most control characters; writing one would make the
// whole file unreadable at the next start, losing every preference.
QString xmlSafe(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            result.append(c);
            result.append(text.at(++i));
            continue;
        }
        if (c.isSurrogate() || (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE ||
            u == 0xFFFF)
            continue;
        result.append(c);
    }
    return result;
}

QDomElement textElement(QDomDocument &doc, const QString &tag, const QString &text)
{
    QDomElement e = doc.createElement(tag);
    if (!text.isEmpty())
        e.appendChild(doc.createTextNode(text));
    return e;
}

void XMLSaveIterate(QDomDocument &doc, QDomElement &parent, const QString &key, const Variant &value);

// The value element of `value`, or a null element for a kind of value the
// file cannot hold.
QDomElement valueElement(QDomDocument &doc, const Variant &value)
{
    if (!value.isValid())
        return doc.createElement(u"data"_s);
    if (isDictionary(value)) {
        QDomElement dict = doc.createElement(u"dict"_s);
        for (const Dictionary::Entry &e : value.value<Dictionary>())
            XMLSaveIterate(doc, dict, e.key, e.value);
        return dict;
    }
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return doc.createElement(value.toBool() ? u"true"_s : u"false"_s);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return textElement(doc, u"integer"_s, QString::number(value.toLongLong()));
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return textElement(doc, u"integer"_s, QString::number(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return textElement(doc, u"real"_s,
                           QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest));
    case QMetaType::QString:
    case QMetaType::QChar:
        return textElement(doc, u"string"_s, xmlSafe(value.toString()));
    case QMetaType::QDateTime: {
        const QDateTime moment = value.toDateTime();
        if (!moment.isValid())
            return doc.createElement(u"data"_s);
        return textElement(doc, u"date"_s, moment.toUTC().toString(u"yyyy-MM-dd'T'HH:mm:ss'Z'"_s));
    }
    case QMetaType::QByteArray:
        return textElement(doc, u"data"_s, QString::fromLatin1(value.toByteArray().toBase64()));
    case QMetaType::QVariantMap: {
        QDomElement dict = doc.createElement(u"dict"_s);
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            XMLSaveIterate(doc, dict, it.key(), it.value());
        return dict;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QDomElement array = doc.createElement(u"array"_s);
        const VariantList list = value.toList();
        for (qsizetype i = 0; i < list.size(); ++i)
            XMLSaveIterate(doc, array, QString::number(i), list.at(i));
        return array;
    }
    default:
        return QDomElement();
    }
}

// Appends <key> and the value's element under `parent`. A value the file
// cannot hold leaves the key alone, which loading skips.
void XMLSaveIterate(QDomDocument &doc, QDomElement &parent, const QString &key, const Variant &value)
{
    parent.appendChild(textElement(doc, u"key"_s, xmlSafe(key)));
    const QDomElement element = valueElement(doc, value);
    if (!element.isNull())
        parent.appendChild(element);
}

QDomDocument buildDocument(const Dictionary &data)
{
    QDomDocument doc;
    doc.appendChild(doc.createProcessingInstruction(u"xml"_s, u"version=\"1.0\" encoding=\"UTF-8\""_s));
    doc.appendChild(doc.createComment(u"DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\""_s));
    QDomElement plist = doc.createElement(u"plist"_s);
    doc.appendChild(plist);
    QDomElement dict = doc.createElement(u"dict"_s);
    plist.appendChild(dict);
    for (const Dictionary::Entry &e : data)
        XMLSaveIterate(doc, dict, e.key, e.value);
    return doc;
}

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'<':
            out += "&lt;"_L1;
            break;
        case u'>':
            out += "&gt;"_L1;
            break;
        case u'&':
            out += "&amp;"_L1;
            break;
        case u'\r':
            out += "&#13;"_L1; // a bare CR would be read back as a line feed
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Writes the document compactly. Unlike QDomDocument::toString this escapes
// ">" in text too, so the tag separation below cannot touch a value.
void serialize(const QDomNode &node, QString &out)
{
    for (QDomNode n = node.firstChild(); !n.isNull(); n = n.nextSibling()) {
        if (n.isProcessingInstruction()) {
            const QDomProcessingInstruction pi = n.toProcessingInstruction();
            out += u"<?"_s + pi.target() + u' ' + pi.data() + u"?>"_s;
        } else if (n.isComment()) {
            out += u"<!--"_s + n.nodeValue() + u"-->"_s;
        } else if (n.isText()) {
            out += escaped(n.nodeValue());
        } else if (n.isElement()) {
            const QString tag = n.nodeName();
            if (!n.hasChildNodes()) {
                out += u'<' + tag + u"/>"_s;
            } else {
                out += u'<' + tag + u'>';
                serialize(n, out);
                out += u"</"_s + tag + u'>';
            }
        }
    }
}

} // namespace

Decoded decode(const QByteArray &bytes)
{
    Decoded result;
    QXmlStreamReader r(bytes);
    if (!r.readNextStartElement() || r.name() != "plist"_L1) {
        result.error = u"no <plist> element at the top"_s;
        return result;
    }
    if (!r.readNextStartElement() || r.name() != "dict"_L1) {
        result.error = u"no <dict> inside <plist>"_s;
        return result;
    }
    result.values = readDict(r, 1);
    // Read to the end, so a file cut short after the dict is caught too.
    while (!r.atEnd())
        r.readNext();
    if (r.hasError()) {
        result.recovered = std::move(result.values);
        result.values.clear();
        result.error = u"%1 at line %2"_s.arg(r.errorString()).arg(r.lineNumber());
    }
    return result;
}

QDomDocument document(const Dictionary &values)
{
    return buildDocument(values);
}

QString text(const QDomDocument &doc)
{
    QString out;
    serialize(doc, out);
    // One line feed between adjacent tags, no indentation. Text never holds
    // "><": serialize escapes both angle brackets.
    out.replace(u"><"_s, u">\n<"_s);
    out.append(u'\n');
    return out;
}

QString encode(const Dictionary &values)
{
    return text(document(values));
}

} // namespace PlistCodec

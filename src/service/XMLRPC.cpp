#include "service/XMLRPC.h"

#include "service/FastXmlReader.h"

#include <QDate>
#include <QLocale>
#include <QSet>
#include <QTime>
#include <QXmlStreamReader>

#include <charconv>
#include <cmath>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace XMLRPC {

namespace {

bool isIntegerKind(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Char:
        return true;
    default:
        return false;
    }
}

bool isUnsignedKind(int typeId)
{
    return typeId == QMetaType::UInt || typeId == QMetaType::ULong || typeId == QMetaType::ULongLong ||
           typeId == QMetaType::UShort || typeId == QMetaType::UChar;
}

// The text of a "double" element. Integers (file sizes above all) keep every
// digit, signed or not; whole doubles are written without a fraction, other
// doubles with up to twenty fraction digits so nothing is silently truncated.
QString doubleText(const Variant &v)
{
    const int type = v.typeId();
    if (isUnsignedKind(type))
        return QString::number(v.toULongLong());
    if (isIntegerKind(type))
        return QString::number(v.toLongLong());
    const double x = v.toDouble();
    if (std::isfinite(x) && x == std::trunc(x))
        return MyFormat(x, u"-#"_s);
    return MyFormat(x, u"-#.####################"_s);
}

// The document's numbers are always read in the C locale, whatever the
// process locale says, and only their leading numeric prefix counts.
double leadingNumber(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    const char *p = bytes.constData();
    const char *end = p + bytes.size();
    while (p != end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    if (p != end && *p == '+')
        ++p;
    double value = 0;
    const auto result = std::from_chars(p, end, value);
    return result.ec == std::errc() ? value : 0.0;
}

// The element that a "value" element holds. Whitespace between elements may
// or may not have been kept by the parser, so take the first element child;
// without one, the first child (bare text decodes to nil, nothing to empty text).
QDomNode typeNodeOf(const QDomNode &value)
{
    const QDomElement e = value.firstChildElement();
    return e.isNull() ? value.firstChild() : QDomNode(e);
}

bool readDigits(const QString &text, qsizetype &pos, int count, int &out)
{
    if (pos + count > text.size())
        return false;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = text.at(pos + i).unicode();
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
    }
    pos += count;
    out = value;
    return true;
}

bool readChar(const QString &text, qsizetype &pos, QChar c)
{
    if (pos < text.size() && text.at(pos) == c) {
        ++pos;
        return true;
    }
    return false;
}

// Decodes straight from a pull reader (QXmlStreamReader or FastXmlReader),
// with the same results as Decode on a DOM tree of the same document.
template<class Reader> class StreamDecoder final {
public:
    explicit StreamDecoder(const QByteArray &xml, const EntryStream *stream = nullptr)
        : m_reader(xml)
        , m_stream(stream)
    {
    }
    StreamDecoder(const StreamDecoder &) = delete;
    StreamDecoder &operator=(const StreamDecoder &) = delete;

    ParsedDocument read()
    {
        ParsedDocument doc;
        if (!m_reader.readNextStartElement()) {
            doc.error = errorText(u"no document element"_s);
            return doc;
        }
        if (m_reader.name() != "methodResponse"_L1 && m_reader.name() != "methodCall"_L1) {
            doc.error = u"not an XML-RPC document: the root element is <%1>"_s.arg(m_reader.name());
            return doc;
        }
        while (m_reader.readNextStartElement()) {
            const auto name = m_reader.name();
            if (name == "methodName"_L1) {
                doc.methodName = m_reader.readElementText(QXmlStreamReader::IncludeChildElements);
            } else if (name == "params"_L1) {
                while (m_reader.readNextStartElement()) {
                    if (m_reader.name() == "param"_L1) {
                        m_inFirstParam = doc.params.isEmpty();
                        doc.params.append(readValueChild());
                        m_inFirstParam = false;
                    } else
                        m_reader.skipCurrentElement();
                }
            } else if (name == "fault"_L1) {
                doc.isFault = true;
                doc.fault = readValueChild();
            } else {
                m_reader.skipCurrentElement();
            }
        }
        // Anything after the root element must still be well-formed.
        while (!m_reader.atEnd())
            m_reader.readNext();
        if (m_reader.hasError())
            doc.error = errorText(m_reader.errorString());
        return doc;
    }

private:
    QString errorText(const QString &what) const
    {
        if (m_reader.hasError())
            return u"XML error at line %1, column %2: %3"_s.arg(m_reader.lineNumber())
                .arg(m_reader.columnNumber())
                .arg(m_reader.errorString());
        return what;
    }

    // At a "param" or "fault": the value of its "value" child.
    Variant readValueChild()
    {
        Variant result = QString();
        bool found = false;
        while (m_reader.readNextStartElement()) {
            if (!found && m_reader.name() == "value"_L1) {
                result = readValue();
                found = true;
            } else {
                m_reader.skipCurrentElement();
            }
        }
        return result;
    }

    // At the start of a "value" element; reads through its end.
    Variant readValue()
    {
        if (m_depth == MaxNesting) {
            m_reader.raiseError(u"values nested more than %1 deep"_s.arg(MaxNesting));
            return Variant();
        }
        ++m_depth;
        Variant result = readValueContent();
        --m_depth;
        return result;
    }

    Variant readValueContent()
    {
        Variant result;
        bool typed = false;
        bool bareText = false;
        while (!m_reader.atEnd()) {
            switch (m_reader.readNext()) {
            case QXmlStreamReader::StartElement:
                if (typed) {
                    m_reader.skipCurrentElement();
                } else {
                    result = readTyped();
                    typed = true;
                }
                break;
            case QXmlStreamReader::Characters:
                bareText = bareText || !m_reader.isWhitespace();
                break;
            case QXmlStreamReader::EndElement:
                if (typed)
                    return result;
                return bareText ? Variant() : Variant(QString());
            default:
                break;
            }
        }
        return result;
    }

    // At the start of a type element; reads through its end.
    Variant readTyped()
    {
        const bool streamed = std::exchange(m_streamNextArray, false);
        const auto name = m_reader.name();
        if (name == "string"_L1)
            return shared(m_reader.readElementText(QXmlStreamReader::IncludeChildElements),
                          kSharedValueLength);
        if (name == "struct"_L1) {
            Dictionary dict;
            while (m_reader.readNextStartElement()) {
                if (m_reader.name() != "member"_L1) {
                    m_reader.skipCurrentElement();
                    continue;
                }
                QString key;
                Variant value = QString();
                while (m_reader.readNextStartElement()) {
                    if (m_reader.name() == "name"_L1)
                        key = shared(m_reader.readElementText(QXmlStreamReader::IncludeChildElements),
                                     kSharedNameLength);
                    else if (m_reader.name() == "value"_L1)
                        value = readMemberValue(key);
                    else
                        m_reader.skipCurrentElement();
                }
                dict.insert(key, value);
            }
            return QVariant::fromValue(std::move(dict));
        }
        if (name == "array"_L1) {
            VariantList items;
            if (streamed && m_stream->begin)
                m_stream->begin();
            if (m_reader.readNextStartElement()) { // "data"
                while (m_reader.readNextStartElement()) {
                    if (streamed)
                        m_stream->entry(readValue());
                    else
                        items.append(readValue());
                }
                while (m_reader.readNextStartElement())
                    m_reader.skipCurrentElement();
            }
            return items;
        }
        const bool number = name == "double"_L1 || name == "int"_L1 || name == "i4"_L1;
        const bool boolean = !number && name == "boolean"_L1;
        const bool date = !number && !boolean && name == "dateTime.iso8601"_L1;
        const bool base64 = !number && !boolean && !date && name == "base64"_L1;
        if (!number && !boolean && !date && !base64) {
            m_reader.skipCurrentElement();
            return Variant();
        }
        // The DOM parser drops text that is only whitespace, so such text
        // counts as no text here too.
        const QString text = m_reader.readElementText(QXmlStreamReader::IncludeChildElements);
        const bool empty = text.trimmed().isEmpty();
        if (number)
            return empty ? Variant(0) : Variant(leadingNumber(text));
        if (boolean)
            return text == "1"_L1;
        if (date)
            return empty ? QDateTime::currentDateTime() : ParseISO8601(text);
        return QByteArray::fromBase64(text.toLatin1());
    }

    // A search reply repeats the same member names, and many of the same
    // short values ("0", "eng", "srt"), in each of its thousands of
    // entries: each distinct text is kept once and shared, so that a reply's
    // tree costs its distinct texts rather than every copy of them.
    static constexpr qsizetype kSharedNameLength = 64;
    static constexpr qsizetype kSharedValueLength = 12;
    QString shared(QString text, qsizetype upTo)
    {
        if (text.isEmpty() || text.size() > upTo)
            return text;
        return *m_texts.insert(std::move(text));
    }

    // At a struct member's "value": the streamed array goes to the stream
    // when this is the first param's struct and its member to stream.
    Variant readMemberValue(const QString &key)
    {
        m_streamNextArray = m_stream && m_inFirstParam && m_depth == 1 &&
                            key.compare(m_stream->member, Qt::CaseInsensitive) == 0;
        Variant value = readValue();
        m_streamNextArray = false;
        return value;
    }

    Reader m_reader;
    const EntryStream *m_stream;    // null: every value stays in the tree
    bool m_inFirstParam = false;    // reading the first param's value
    bool m_streamNextArray = false; // the next type element read is the streamed array
    int m_depth = 0;                // "value" elements entered
    QSet<QString> m_texts;          // see shared()
};

} // namespace

QString GuessType(const Variant &v)
{
    switch (v.typeId()) {
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        return u"array"_s;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Char:
        return u"int"_s;
    // Wider integers (and unsigned 32-bit ones, which may not fit an "int")
    // travel as whole numbers in a "double" element.
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return u"double"_s;
    case QMetaType::QDateTime:
        return u"dateTime.iso8601"_s;
    case QMetaType::QString:
        return u"string"_s;
    case QMetaType::Bool:
        return u"boolean"_s;
    default:
        break;
    }
    if (isDictionary(v))
        return u"struct"_s;
    return QString();
}

Pair VariantToPair(const Variant &v)
{
    if (isPair(v))
        return v.value<Pair>();
    return Pair{GuessType(v), v};
}

QDomElement Encode(const Pair &p, QDomDocument &doc)
{
    const QString name = p.Left.toString();
    if (name.isEmpty())
        return QDomElement();
    QDomElement element = doc.createElement(name);
    const Variant &value = p.Right;

    if (name == "array"_L1) {
        QDomElement data = doc.createElement(u"data"_s);
        const VariantList items = value.toList();
        for (const Variant &item : items) {
            QDomElement v = doc.createElement(u"value"_s);
            v.appendChild(Encode(VariantToPair(item), doc));
            data.appendChild(v);
        }
        element.appendChild(data);
    } else if (name == "boolean"_L1) {
        element.appendChild(doc.createTextNode(value.toBool() ? u"1"_s : u"0"_s));
    } else if (name == "dateTime.iso8601"_L1) {
        const QDateTime dt = value.toDateTime();
        const QDate d = dt.date();
        const QTime t = dt.time();
        element.appendChild(doc.createTextNode(CeroPad(d.year(), 4) + CeroPad(d.month(), 2) +
                                               CeroPad(d.day(), 2) + u'T' + CeroPad(t.hour(), 2) + u':' +
                                               CeroPad(t.minute(), 2) + u':' + CeroPad(t.second(), 2)));
    } else if (name == "struct"_L1) {
        const Dictionary dict = value.value<Dictionary>();
        for (const Dictionary::Entry &entry : dict) {
            QDomElement member = doc.createElement(u"member"_s);
            QDomElement memberName = doc.createElement(u"name"_s);
            memberName.appendChild(doc.createTextNode(entry.key));
            QDomElement memberValue = doc.createElement(u"value"_s);
            memberValue.appendChild(Encode(VariantToPair(entry.value), doc));
            member.appendChild(memberName);
            member.appendChild(memberValue);
            element.appendChild(member);
        }
    } else if (name == "double"_L1) {
        element.appendChild(doc.createTextNode(doubleText(value)));
    } else if (name == "int"_L1 || name == "i4"_L1) {
        element.appendChild(doc.createTextNode(QString::number(value.toInt())));
    } else if (name == "string"_L1 || name == "base64"_L1) {
        element.appendChild(doc.createTextNode(value.toString()));
    }
    return element;
}

namespace {

Variant decodeNode(const QDomNode &node, int depth, QString *error)
{
    if (depth > MaxNesting) {
        if (error && error->isEmpty())
            *error = u"values nested more than %1 deep"_s.arg(MaxNesting);
        return Variant();
    }
    if (node.isNull())
        return QString();
    if (!node.isElement())
        return Variant();
    const QDomElement element = node.toElement();
    const QString name = element.tagName();
    const bool hasChild = element.hasChildNodes();

    if (name == "string"_L1)
        return hasChild ? element.text() : QString();
    if (name == "struct"_L1) {
        Dictionary dict;
        for (QDomElement member = element.firstChildElement(); !member.isNull();
             member = member.nextSiblingElement()) {
            const QDomElement memberName = member.firstChildElement();
            const QDomElement memberValue = memberName.nextSiblingElement();
            dict.insert(memberName.text(), decodeNode(typeNodeOf(memberValue), depth + 1, error));
        }
        return QVariant::fromValue(dict);
    }
    if (name == "array"_L1) {
        VariantList items;
        const QDomElement data = element.firstChildElement();
        for (QDomElement v = data.firstChildElement(); !v.isNull(); v = v.nextSiblingElement())
            items.append(decodeNode(typeNodeOf(v), depth + 1, error));
        return items;
    }
    if (name == "double"_L1 || name == "int"_L1 || name == "i4"_L1)
        return hasChild ? Variant(leadingNumber(element.text())) : Variant(0);
    if (name == "boolean"_L1)
        return hasChild && element.text() == "1"_L1;
    if (name == "dateTime.iso8601"_L1)
        return hasChild ? ParseISO8601(element.text()) : QDateTime::currentDateTime();
    if (name == "base64"_L1) {
        // Binary payloads stay bytes: turning them into text would corrupt them.
        return hasChild ? QByteArray::fromBase64(element.text().toLatin1()) : QByteArray();
    }
    return Variant();
}

} // namespace

Variant Decode(const QDomNode &node)
{
    return decodeNode(node, 1, nullptr);
}

Variant Decode(const QDomNode &node, QString &error)
{
    error.clear();
    Variant value = decodeNode(node, 1, &error);
    return error.isEmpty() ? value : Variant();
}

ParsedDocument ParseDocument(const QByteArray &xml)
{
    return StreamDecoder<FastXmlReader>(xml).read();
}

ParsedDocument ParseDocumentStreamed(const QByteArray &xml, const EntryStream &stream)
{
    return StreamDecoder<FastXmlReader>(xml, stream.entry ? &stream : nullptr).read();
}

ParsedDocument ParseDocumentWithQt(const QByteArray &xml)
{
    return StreamDecoder<QXmlStreamReader>(xml).read();
}

Date ParseISO8601(const QString &text)
{
    const QDateTime now = QDateTime::currentDateTime();
    int year, month, day, hour, minute, second;
    qsizetype pos = 0;
    if (!readDigits(text, pos, 4, year))
        return now;
    readChar(text, pos, u'-');
    if (!readDigits(text, pos, 2, month))
        return now;
    readChar(text, pos, u'-');
    if (!readDigits(text, pos, 2, day) || !readChar(text, pos, u'T') || !readDigits(text, pos, 2, hour) ||
        !readChar(text, pos, u':') || !readDigits(text, pos, 2, minute) || !readChar(text, pos, u':') ||
        !readDigits(text, pos, 2, second))
        return now;

    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (date.isValid() && time.isValid())
        return QDateTime(date, time);

    // Out-of-range fields (a 31 February, a 24:00:00) roll over into the next
    // unit, as a calendar date does when its fields are set one by one.
    const QDate start(year, 1, 1);
    if (!start.isValid())
        return now;
    const int seconds = hour * 3600 + minute * 60 + second;
    const QDate rolled = start.addMonths(month - 1).addDays(day - 1 + seconds / 86400);
    return QDateTime(rolled, QTime::fromMSecsSinceStartOfDay((seconds % 86400) * 1000));
}

QString CeroPad(qint64 n, int width)
{
    QString digits = QString::number(n < 0 ? -quint64(n) : quint64(n));
    const int sign = n < 0 ? 1 : 0;
    if (digits.size() + sign < width)
        digits.prepend(QString(width - sign - digits.size(), u'0'));
    return sign ? u'-' + digits : digits;
}

QString MyFormat(double x, const QString &format)
{
    const bool showSign = format.startsWith(u'-');
    int maxFraction = 0;
    if (const qsizetype dot = format.indexOf(u'.'); dot >= 0) {
        for (qsizetype i = dot + 1; i < format.size(); ++i) {
            if (format.at(i) == u'#' || format.at(i) == u'0')
                ++maxFraction;
        }
    }
    const bool negative = std::signbit(x) && showSign;
    if (std::isnan(x))
        return u"nan"_s;
    if (std::isinf(x))
        return negative ? u"-inf"_s : u"inf"_s;

    const double magnitude = std::fabs(x);
    // The shortest text that reads back as the same double; rounded to the
    // pattern's fraction digits only when it has more of them.
    QString text = QString::number(magnitude, 'f', QLocale::FloatingPointShortest);
    if (const qsizetype dot = text.indexOf(u'.'); dot >= 0 && text.size() - dot - 1 > maxFraction)
        text = QString::number(magnitude, 'f', maxFraction);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    const bool zero = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c == u'0' || c == u'.'; });
    return negative && !zero ? u'-' + text : text;
}

} // namespace XMLRPC

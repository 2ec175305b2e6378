#include "service/FastXmlReader.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace XMLRPC {

namespace {

// XML-RPC has no use for more; a start tag with more is refused, which also
// keeps the duplicate check below cheap.
constexpr int MaxAttributes = 16;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Names are ASCII and without a namespace prefix: XML-RPC uses nothing else.
bool isNameStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isNameChar(unsigned char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

const char *find(const char *from, const char *end, const char *what)
{
    const size_t n = std::strlen(what);
    while (from < end) {
        from = static_cast<const char *>(std::memchr(from, what[0], size_t(end - from)));
        if (!from || size_t(end - from) < n)
            return nullptr;
        if (std::memcmp(from, what, n) == 0)
            return from;
        ++from;
    }
    return nullptr;
}

bool startsWith(const char *p, const char *end, const char *what)
{
    const size_t n = std::strlen(what);
    return size_t(end - p) >= n && std::memcmp(p, what, n) == 0;
}

bool isXmlChar(uint c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Line ends read as "\n", as every XML parser reports them. A byte-order
// mark inside the document is a character (U+FEFF) like any other, but
// QString::fromUtf8 drops one at the start of what it converts.
void appendNormalized(QString &out, QByteArrayView raw)
{
    if (raw.startsWith("\xEF\xBB\xBF")) {
        out += QChar(0xFEFF);
        raw = raw.sliced(3);
    }
    if (!raw.contains('\r')) {
        out += QString::fromUtf8(raw);
        return;
    }
    QByteArray bytes = raw.toByteArray();
    bytes.replace("\r\n", "\n");
    bytes.replace('\r', '\n');
    out += QString::fromUtf8(bytes);
}

// The character a reference (the text between "&" and ";") stands for, or
// a null char32_t for a reference that XML without a DOCTYPE cannot hold.
char32_t referencedChar(QByteArrayView ref)
{
    if (ref == "amp")
        return u'&';
    if (ref == "lt")
        return u'<';
    if (ref == "gt")
        return u'>';
    if (ref == "quot")
        return u'"';
    if (ref == "apos")
        return u'\'';
    if (ref.size() < 2 || ref.front() != '#')
        return 0;
    const bool hex = ref.at(1) == 'x';
    const QByteArrayView digits = ref.sliced(hex ? 2 : 1);
    if (digits.isEmpty() || digits.size() > 8)
        return 0;
    uint code = 0;
    for (const char c : digits) {
        const int digit = c >= '0' && c <= '9'          ? c - '0'
                          : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                        : -1;
        if (digit < 0)
            return 0;
        code = code * (hex ? 16 : 10) + uint(digit);
    }
    return isXmlChar(code) ? char32_t(code) : 0;
}

// Every "&" in `raw` starts a reference that resolves.
bool referencesResolve(QByteArrayView raw)
{
    for (qsizetype amp = raw.indexOf('&'); amp >= 0; amp = raw.indexOf('&', amp + 1)) {
        const qsizetype semi = raw.indexOf(';', amp);
        if (semi < 0 || !referencedChar(raw.sliced(amp + 1, semi - amp - 1)))
            return false;
    }
    return true;
}

// Reads ` name="value"` of the XML declaration at `p`.
bool pseudoAttribute(const char *&p, const char *end, const char *name, QByteArrayView &value)
{
    const char *q = p;
    if (q == end || !isSpace(*q))
        return false;
    while (q != end && isSpace(*q))
        ++q;
    if (!startsWith(q, end, name))
        return false;
    q += std::strlen(name);
    while (q != end && isSpace(*q))
        ++q;
    if (q == end || *q != '=')
        return false;
    ++q;
    while (q != end && isSpace(*q))
        ++q;
    if (q == end || (*q != '"' && *q != '\''))
        return false;
    const char *close = static_cast<const char *>(std::memchr(q + 1, *q, size_t(end - q - 1)));
    if (!close)
        return false;
    value = QByteArrayView(q + 1, close);
    p = close + 1;
    return true;
}

// An encoding name as XML allows it: a letter, then letters, digits, '.', '_'
// and '-'. Qt's converters ignore other characters in a name, so without this
// "ut\xd4@f-8" would be read as UTF-8 where Qt's XML reader refuses it.
bool isEncodingName(QByteArrayView name)
{
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (name.isEmpty() || !letter(name.front()))
        return false;
    return std::all_of(name.begin() + 1, name.end(), [&](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    });
}

bool isUtf8Name(const QByteArray &name)
{
    return name == "utf-8" || name == "utf8" || name == "us-ascii" || name == "ascii";
}

} // namespace

FastXmlReader::FastXmlReader(const QByteArray &xml)
    : m_data(xml)
    , m_p(m_data.constData())
    , m_end(m_p + m_data.size())
{
    if (!readDeclaration())
        return;
    if (!QByteArrayView(m_p, m_end).isValidUtf8()) {
        fail("the document is not valid UTF-8 and declares no other encoding");
        return;
    }
    for (const char *p = m_p; p != m_end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            m_p = p;
            fail("a control character");
            return;
        }
        // U+FFFE and U+FFFF are valid UTF-8 but no XML characters.
        if (c == 0xEF && m_end - p >= 3 && uchar(p[1]) == 0xBF && uchar(p[2]) >= 0xBE) {
            m_p = p;
            fail("a character that XML does not allow");
            return;
        }
    }
}

// Reads the byte-order mark and the XML declaration, and turns a document in
// another encoding into UTF-8. False when the reader has failed.
bool FastXmlReader::readDeclaration()
{
    const bool utf8Mark = startsWith(m_p, m_end, "\xEF\xBB\xBF");
    if (utf8Mark)
        m_p += 3;
    if (!startsWith(m_p, m_end, "<?xml") || m_end - m_p < 6 || !isSpace(m_p[5]))
        return true;
    const char *close = find(m_p, m_end, "?>");
    if (!close)
        return failed("an XML declaration without its end");
    const char *p = m_p + 5;
    QByteArrayView version;
    QByteArrayView encoding;
    QByteArrayView standalone;
    if (!pseudoAttribute(p, close, "version", version) || version != "1.0")
        return failed("an XML declaration without version 1.0");
    if (pseudoAttribute(p, close, "encoding", encoding) && !isEncodingName(encoding))
        return failed("an XML declaration with a bad encoding name");
    if (pseudoAttribute(p, close, "standalone", standalone) && standalone != "yes" && standalone != "no")
        return failed("an XML declaration with a bad standalone value");
    while (p != close && isSpace(*p))
        ++p;
    if (p != close)
        return failed("an XML declaration that is not well-formed");
    const qsizetype declarationEnd = close + 2 - m_data.constData();

    const QByteArray name = encoding.toByteArray().toLower();
    if (encoding.isEmpty() || isUtf8Name(name)) {
        m_p = close + 2;
        return true;
    }
    if (utf8Mark)
        return failed("a UTF-8 byte-order mark on a document that declares another encoding");
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid())
        return failed("an encoding that cannot be read");
    const QString text = decoder.decode(QByteArrayView(m_data).sliced(declarationEnd));
    if (decoder.hasError())
        return failed("bytes that are not valid in the declared encoding");
    m_data = text.toUtf8();
    m_p = m_data.constData();
    m_end = m_p + m_data.size();
    return true;
}

void FastXmlReader::raiseError(const QString &message)
{
    if (m_failed)
        return;
    m_failed = true;
    m_error = message;
    m_errorAt = m_p;
}

QXmlStreamReader::TokenType FastXmlReader::fail(const char *why)
{
    raiseError(QString::fromLatin1(why));
    return QXmlStreamReader::Invalid;
}

bool FastXmlReader::failed(const char *why)
{
    fail(why);
    return false;
}

qint64 FastXmlReader::lineNumber() const
{
    if (!m_errorAt)
        return 0;
    return 1 + QByteArrayView(m_data.constData(), m_errorAt).count('\n');
}

qint64 FastXmlReader::columnNumber() const
{
    if (!m_errorAt)
        return 0;
    const QByteArrayView before(m_data.constData(), m_errorAt);
    return before.size() - before.lastIndexOf('\n');
}

void FastXmlReader::skipSpaces()
{
    while (m_p != m_end && isSpace(*m_p))
        ++m_p;
}

bool FastXmlReader::readName(QByteArrayView &out)
{
    const char *start = m_p;
    if (m_p == m_end || !isNameStart(static_cast<unsigned char>(*m_p)))
        return false;
    ++m_p;
    while (m_p != m_end && isNameChar(static_cast<unsigned char>(*m_p)))
        ++m_p;
    out = QByteArrayView(start, m_p);
    return true;
}

// At "<!" or "<?": skips a comment or a processing instruction.
bool FastXmlReader::skipMarkup()
{
    if (startsWith(m_p, m_end, "<!--")) {
        // "--" may only appear as the end of the comment.
        const char *dashes = find(m_p + 4, m_end, "--");
        if (!dashes || dashes + 2 >= m_end || dashes[2] != '>')
            return failed("a comment that is not well-formed");
        m_p = dashes + 3;
        return true;
    }
    if (startsWith(m_p, m_end, "<?")) {
        m_p += 2;
        QByteArrayView target;
        if (!readName(target) || target.compare("xml", Qt::CaseInsensitive) == 0)
            return failed("a processing instruction without a proper target");
        // The target ends at a space or at the end of the instruction.
        if (m_p == m_end || (!isSpace(*m_p) && !startsWith(m_p, m_end, "?>")))
            return failed("a processing instruction without a space after its target");
        const char *close = find(m_p, m_end, "?>");
        if (!close)
            return failed("a processing instruction without its end");
        m_p = close + 2;
        return true;
    }
    if (startsWith(m_p, m_end, "<!DOCTYPE"))
        return failed("a document type declaration, which XML-RPC does not allow");
    return failed("markup that is not well-formed");
}

bool FastXmlReader::readStartTag()
{
    ++m_p;
    QByteArrayView tag;
    if (!readName(tag))
        return failed("a start tag without a proper name");
    if (m_open.isEmpty() && m_rootSeen)
        return failed("a second root element");
    bool selfClosing = false;
    QByteArrayView attributes[MaxAttributes];
    int attributeCount = 0;
    for (;;) {
        const char *beforeSpace = m_p;
        skipSpaces();
        if (m_p == m_end)
            return failed("a start tag without its end");
        if (*m_p == '>') {
            ++m_p;
            break;
        }
        if (*m_p == '/') {
            if (m_end - m_p < 2 || m_p[1] != '>')
                return failed("a start tag that is not well-formed");
            m_p += 2;
            selfClosing = true;
            break;
        }
        // An attribute, which XML-RPC does not use: checked and skipped.
        QByteArrayView attribute;
        if (m_p == beforeSpace || !readName(attribute))
            return failed("an attribute that is not well-formed");
        if (attributeCount == MaxAttributes)
            return failed("an element with too many attributes");
        attributes[attributeCount++] = attribute;
        skipSpaces();
        if (m_p == m_end || *m_p != '=')
            return failed("an attribute without a value");
        ++m_p;
        skipSpaces();
        if (m_p == m_end || (*m_p != '"' && *m_p != '\''))
            return failed("an attribute value without quotes");
        const char *close = static_cast<const char *>(std::memchr(m_p + 1, *m_p, size_t(m_end - m_p - 1)));
        if (!close)
            return failed("an attribute value without its closing quote");
        const QByteArrayView value(m_p + 1, close);
        if (value.contains('<') || !referencesResolve(value))
            return failed("an attribute value that is not well-formed");
        m_p = close + 1;
    }
    std::sort(attributes, attributes + attributeCount);
    if (std::adjacent_find(attributes, attributes + attributeCount) != attributes + attributeCount)
        return failed("an attribute given twice");
    m_open.append(tag);
    m_rootSeen = true;
    m_name = QLatin1StringView(tag.data(), tag.size());
    m_pendingEnd = selfClosing;
    return true;
}

bool FastXmlReader::readEndTag()
{
    m_p += 2;
    QByteArrayView tag;
    if (!readName(tag))
        return failed("an end tag without a proper name");
    skipSpaces();
    if (m_p == m_end || *m_p != '>')
        return failed("an end tag that is not well-formed");
    if (m_open.isEmpty() || m_open.last() != tag)
        return failed("an end tag that does not match its start tag");
    ++m_p;
    m_open.removeLast();
    m_name = QLatin1StringView(tag.data(), tag.size());
    return true;
}

QXmlStreamReader::TokenType FastXmlReader::readNext()
{
    if (m_failed)
        return QXmlStreamReader::Invalid;
    if (m_done)
        return QXmlStreamReader::EndDocument;
    if (m_pendingEnd) {
        m_pendingEnd = false;
        m_open.removeLast();
        return QXmlStreamReader::EndElement;
    }
    for (;;) {
        if (m_p == m_end) {
            if (!m_rootSeen)
                return fail("no root element");
            if (!m_open.isEmpty())
                return fail("the document ends inside an element");
            m_done = true;
            return QXmlStreamReader::EndDocument;
        }
        if (*m_p == '<') {
            if (m_end - m_p < 2)
                return fail("the document ends inside a tag");
            if (m_p[1] == '/')
                return readEndTag() ? QXmlStreamReader::EndElement : QXmlStreamReader::Invalid;
            if (startsWith(m_p, m_end, "<![CDATA[")) {
                const char *close = find(m_p + 9, m_end, "]]>");
                if (!close || m_open.isEmpty())
                    return fail("a CDATA section that is not well-formed");
                m_text = QByteArrayView(m_p + 9, close);
                m_p = close + 3;
                m_textIsCData = true;
                m_whitespace = std::all_of(m_text.begin(), m_text.end(), isSpace);
                return QXmlStreamReader::Characters;
            }
            if (m_p[1] == '!' || m_p[1] == '?') {
                if (!skipMarkup())
                    return QXmlStreamReader::Invalid;
                continue;
            }
            return readStartTag() ? QXmlStreamReader::StartElement : QXmlStreamReader::Invalid;
        }
        const char *start = m_p;
        const void *lt = std::memchr(m_p, '<', size_t(m_end - m_p));
        m_p = lt ? static_cast<const char *>(lt) : m_end;
        m_text = QByteArrayView(start, m_p);
        m_textIsCData = false;
        m_whitespace = std::all_of(m_text.begin(), m_text.end(), isSpace);
        if (m_open.isEmpty()) {
            if (!m_whitespace) {
                m_p = start;
                return fail("text outside the root element");
            }
            continue;
        }
        if (!m_whitespace && m_text.contains("]]>")) {
            m_p = start;
            return fail("\"]]>\" in text");
        }
        // Checked here, not only when the text is read: a caller that skips
        // the text between elements must not let a stray "&" through.
        if (m_text.contains('&') && !referencesResolve(m_text)) {
            m_p = start;
            return fail("a reference that does not resolve");
        }
        return QXmlStreamReader::Characters;
    }
}

QString FastXmlReader::text()
{
    QString out;
    if (m_textIsCData || !m_text.contains('&')) {
        appendNormalized(out, m_text);
        return out;
    }
    out.reserve(m_text.size());
    const char *p = m_text.data();
    const char *end = p + m_text.size();
    while (p != end) {
        const char *amp = static_cast<const char *>(std::memchr(p, '&', size_t(end - p)));
        appendNormalized(out, QByteArrayView(p, amp ? amp : end));
        if (!amp)
            break;
        const char *semi = static_cast<const char *>(std::memchr(amp, ';', size_t(end - amp)));
        const char32_t c = semi ? referencedChar(QByteArrayView(amp + 1, semi)) : 0;
        if (!c) {
            fail("a reference that does not resolve");
            return QString();
        }
        out += QString::fromUcs4(&c, 1);
        p = semi + 1;
    }
    return out;
}

bool FastXmlReader::readNextStartElement()
{
    for (;;) {
        switch (readNext()) {
        case QXmlStreamReader::StartElement:
            return true;
        case QXmlStreamReader::EndElement:
        case QXmlStreamReader::EndDocument:
        case QXmlStreamReader::Invalid:
            return false;
        default:
            break;
        }
    }
}

void FastXmlReader::skipCurrentElement()
{
    int depth = 1;
    while (depth > 0) {
        switch (readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::EndDocument:
        case QXmlStreamReader::Invalid:
            return;
        default:
            break;
        }
    }
}

QString FastXmlReader::readElementText(QXmlStreamReader::ReadElementTextBehaviour)
{
    QString result;
    int depth = 1;
    while (depth > 0) {
        switch (readNext()) {
        case QXmlStreamReader::Characters:
            if (result.isEmpty())
                result = text();
            else
                result += text();
            break;
        case QXmlStreamReader::StartElement:
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            return result;
        }
    }
    return result;
}

} // namespace XMLRPC

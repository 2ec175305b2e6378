#include "service/FastXmlReader.h"

#include <algorithm>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace XMLRPC {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
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

// Line ends read as "\n", as every XML parser reports them.
void appendNormalized(QString &out, QByteArrayView raw)
{
    if (!raw.contains('\r')) {
        out += QString::fromUtf8(raw);
        return;
    }
    QByteArray bytes = raw.toByteArray();
    bytes.replace("\r\n", "\n");
    bytes.replace('\r', '\n');
    out += QString::fromUtf8(bytes);
}

} // namespace

FastXmlReader::FastXmlReader(const QByteArray &xml)
    : m_p(xml.constData())
    , m_end(xml.constData() + xml.size())
{
    // Only UTF-8 without control characters: anything else is the full
    // parser's business (and mostly an error).
    if (!QByteArrayView(xml).isValidUtf8()) {
        m_failed = true;
        return;
    }
    for (const char *p = m_p; p != m_end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            m_failed = true;
            return;
        }
    }
    if (startsWith(m_p, m_end, "\xEF\xBB\xBF"))
        m_p += 3;
    if (startsWith(m_p, m_end, "<?xml") && m_end - m_p > 5 && isSpace(m_p[5])) {
        const char *close = find(m_p, m_end, "?>");
        if (!close) {
            m_failed = true;
            return;
        }
        const QByteArrayView declaration(m_p, close);
        if (const qsizetype at = declaration.indexOf("encoding"); at >= 0) {
            QByteArrayView rest = declaration.sliced(at + 8).trimmed();
            bool known = false;
            if (rest.startsWith('=')) {
                rest = rest.sliced(1).trimmed();
                if (!rest.isEmpty() && (rest.front() == '"' || rest.front() == '\'')) {
                    const qsizetype end = rest.indexOf(rest.front(), 1);
                    const QByteArray name = rest.sliced(1, end > 0 ? end - 1 : 0).toByteArray().toLower();
                    known = name == "utf-8" || name == "utf8" || name == "us-ascii" || name == "ascii";
                }
            }
            if (!known) {
                m_failed = true;
                return;
            }
        }
        m_p = close + 2;
    }
}

QXmlStreamReader::TokenType FastXmlReader::fail()
{
    m_failed = true;
    return QXmlStreamReader::Invalid;
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
            return false;
        m_p = dashes + 3;
        return true;
    }
    if (startsWith(m_p, m_end, "<?")) {
        m_p += 2;
        QByteArrayView target;
        if (!readName(target) || target.compare("xml", Qt::CaseInsensitive) == 0)
            return false;
        const char *close = find(m_p, m_end, "?>");
        if (!close)
            return false;
        m_p = close + 2;
        return true;
    }
    return false; // a DOCTYPE, or CDATA outside the root element
}

bool FastXmlReader::readStartTag()
{
    ++m_p;
    QByteArrayView tag;
    if (!readName(tag) || (m_open.isEmpty() && m_rootSeen))
        return false;
    bool selfClosing = false;
    for (;;) {
        const char *beforeSpace = m_p;
        skipSpaces();
        if (m_p == m_end)
            return false;
        if (*m_p == '>') {
            ++m_p;
            break;
        }
        if (*m_p == '/') {
            if (m_end - m_p < 2 || m_p[1] != '>')
                return false;
            m_p += 2;
            selfClosing = true;
            break;
        }
        // An attribute, which XML-RPC does not use: checked and skipped.
        QByteArrayView attribute;
        if (m_p == beforeSpace || !readName(attribute))
            return false;
        skipSpaces();
        if (m_p == m_end || *m_p != '=')
            return false;
        ++m_p;
        skipSpaces();
        if (m_p == m_end || (*m_p != '"' && *m_p != '\''))
            return false;
        const char *close = static_cast<const char *>(std::memchr(m_p + 1, *m_p, size_t(m_end - m_p - 1)));
        if (!close || std::memchr(m_p + 1, '<', size_t(close - m_p - 1)))
            return false;
        m_p = close + 1;
    }
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
        return false;
    skipSpaces();
    if (m_p == m_end || *m_p != '>' || m_open.isEmpty() || m_open.last() != tag)
        return false;
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
            if (!m_open.isEmpty() || !m_rootSeen)
                return fail();
            m_done = true;
            return QXmlStreamReader::EndDocument;
        }
        if (*m_p == '<') {
            if (m_end - m_p < 2)
                return fail();
            if (m_p[1] == '/')
                return readEndTag() ? QXmlStreamReader::EndElement : fail();
            if (startsWith(m_p, m_end, "<![CDATA[")) {
                const char *close = find(m_p + 9, m_end, "]]>");
                if (!close || m_open.isEmpty())
                    return fail();
                m_text = QByteArrayView(m_p + 9, close);
                m_p = close + 3;
                m_textIsCData = true;
                m_whitespace = std::all_of(m_text.begin(), m_text.end(), isSpace);
                return QXmlStreamReader::Characters;
            }
            if (m_p[1] == '!' || m_p[1] == '?') {
                if (!skipMarkup())
                    return fail();
                continue;
            }
            return readStartTag() ? QXmlStreamReader::StartElement : fail();
        }
        const char *start = m_p;
        const void *lt = std::memchr(m_p, '<', size_t(m_end - m_p));
        m_p = lt ? static_cast<const char *>(lt) : m_end;
        m_text = QByteArrayView(start, m_p);
        m_textIsCData = false;
        m_whitespace = std::all_of(m_text.begin(), m_text.end(), isSpace);
        if (m_open.isEmpty()) {
            if (!m_whitespace)
                return fail();
            continue;
        }
        if (!m_whitespace && m_text.contains("]]>"))
            return fail();
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
        if (!semi) {
            fail();
            return QString();
        }
        const QByteArrayView ref(amp + 1, semi);
        if (ref == "amp") {
            out += u'&';
        } else if (ref == "lt") {
            out += u'<';
        } else if (ref == "gt") {
            out += u'>';
        } else if (ref == "quot") {
            out += u'"';
        } else if (ref == "apos") {
            out += u'\'';
        } else if (ref.size() > 1 && ref.front() == '#') {
            const bool hex = ref.at(1) == 'x';
            const QByteArrayView digits = ref.sliced(hex ? 2 : 1);
            bool ok = !digits.isEmpty() && digits.front() != '+' && digits.front() != '-';
            const uint code = ok ? QByteArray(digits.data(), digits.size()).toUInt(&ok, hex ? 16 : 10) : 0;
            if (!ok || !isXmlChar(code)) {
                fail();
                return QString();
            }
            const char32_t c = code;
            out += QString::fromUcs4(&c, 1);
        } else {
            fail(); // an entity no DOCTYPE can have declared here
            return QString();
        }
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

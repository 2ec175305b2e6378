#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QXmlStreamReader>

namespace XMLRPC {

// A pull reader for the plain XML that XML-RPC documents are made of: UTF-8
// or ASCII, elements, text, entity and character references, CDATA, comments
// and processing instructions. It offers the few QXmlStreamReader calls the
// document decoder uses and is several times faster on service replies.
//
// It does not report XML errors itself: on anything it does not handle, or
// that is not well-formed, it stops with hasError() set, and the caller reads
// the document again with QXmlStreamReader, which gives the exact error.
class FastXmlReader final {
public:
    explicit FastXmlReader(const QByteArray &xml);

    QXmlStreamReader::TokenType readNext();
    bool readNextStartElement();
    void skipCurrentElement();
    QString readElementText(QXmlStreamReader::ReadElementTextBehaviour behaviour);

    bool atEnd() const { return m_failed || m_done; }
    bool hasError() const { return m_failed; }
    QString errorString() const { return QStringLiteral("not plain XML"); }
    qint64 lineNumber() const { return 0; }
    qint64 columnNumber() const { return 0; }

    // The current element's name; only ASCII names compare equal to ASCII text.
    QLatin1StringView name() const { return m_name; }
    // For a Characters token: the text holds nothing but XML whitespace.
    bool isWhitespace() const { return m_whitespace; }
    // For a Characters token: the text, references resolved. A broken
    // reference stops the reader with hasError() set.
    QString text();

private:
    QXmlStreamReader::TokenType fail();
    bool skipMarkup();
    bool readStartTag();
    bool readEndTag();
    bool readName(QByteArrayView &out);
    void skipSpaces();

    const char *m_p;
    const char *m_end;
    QList<QByteArrayView> m_open; // names of the elements entered, outermost first
    QLatin1StringView m_name;
    QByteArrayView m_text; // raw text of the current Characters token
    bool m_textIsCData = false;
    bool m_whitespace = false;
    bool m_pendingEnd = false; // a "<x/>" still owes its EndElement
    bool m_rootSeen = false;
    bool m_failed = false;
    bool m_done = false;
};

} // namespace XMLRPC

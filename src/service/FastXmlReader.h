#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QXmlStreamReader>

namespace XMLRPC {

// A pull reader for the plain XML that XML-RPC documents are made of:
// elements, text, entity and character references, CDATA, comments and
// processing instructions, in UTF-8 or in any encoding the document declares
// and Qt can decode. It offers the few QXmlStreamReader calls the document
// decoder uses, is several times faster on service replies, and takes linear
// time and memory on any input.
//
// It is stricter than QXmlStreamReader: everything it reads, QXmlStreamReader
// reads the same way, but it refuses what XML-RPC never needs (a document
// type declaration, namespace prefixes, more than a few attributes on an
// element). On anything it refuses or that is not well-formed it stops with
// hasError() set and says why and where.
class FastXmlReader final {
public:
    explicit FastXmlReader(const QByteArray &xml);

    QXmlStreamReader::TokenType readNext();
    bool readNextStartElement();
    void skipCurrentElement();
    QString readElementText(QXmlStreamReader::ReadElementTextBehaviour behaviour);

    bool atEnd() const { return m_failed || m_done; }
    bool hasError() const { return m_failed; }
    // Stops the reader, as QXmlStreamReader::raiseError does.
    void raiseError(const QString &message);
    QString errorString() const { return m_error; }
    qint64 lineNumber() const;
    qint64 columnNumber() const;

    // The current element's name; only ASCII names compare equal to ASCII text.
    QLatin1StringView name() const { return m_name; }
    // For a Characters token: the text holds nothing but XML whitespace.
    bool isWhitespace() const { return m_whitespace; }
    // For a Characters token: the text, references resolved. A broken
    // reference stops the reader with hasError() set.
    QString text();

private:
    bool readDeclaration();
    QXmlStreamReader::TokenType fail(const char *why);
    bool failed(const char *why);
    bool skipMarkup();
    bool readStartTag();
    bool readEndTag();
    bool readName(QByteArrayView &out);
    void skipSpaces();

    QByteArray m_data; // the document, as UTF-8
    const char *m_p;
    const char *m_end;
    QList<QByteArrayView> m_open; // names of the elements entered, outermost first
    QLatin1StringView m_name;
    QByteArrayView m_text; // raw text of the current Characters token
    QString m_error;
    const char *m_errorAt = nullptr;
    bool m_textIsCData = false;
    bool m_whitespace = false;
    bool m_pendingEnd = false; // a "<x/>" still owes its EndElement
    bool m_rootSeen = false;
    bool m_failed = false;
    bool m_done = false;
};

} // namespace XMLRPC

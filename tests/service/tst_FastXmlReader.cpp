#include "service/FastXmlReader.h"
#include "service/XMLRPC.h"
#include "TestMain.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QString str(QStringView v)
{
    return v.toString();
}
QString str(const QString &s)
{
    return s;
}

// What a reader reports, as text: elements, and the text inside them with
// adjacent pieces joined. Text outside the root element is left out.
template<class Reader> QStringList events(Reader &reader)
{
    QStringList out;
    int depth = 0;
    bool inText = false;
    for (;;) {
        const QXmlStreamReader::TokenType t = reader.readNext();
        if (t == QXmlStreamReader::Characters) {
            if (depth == 0)
                continue;
            const QString text = str(reader.text());
            if (inText)
                out.last() += text;
            else
                out << u"T:"_s + text;
            inText = true;
            continue;
        }
        inText = false;
        if (t == QXmlStreamReader::StartElement) {
            out << u"S:"_s + str(reader.name());
            ++depth;
        } else if (t == QXmlStreamReader::EndElement) {
            out << u"E:"_s + str(reader.name());
            --depth;
        } else if (t == QXmlStreamReader::EndDocument || t == QXmlStreamReader::Invalid) {
            out << (reader.hasError() ? u"error"_s : u"end"_s);
            return out;
        }
    }
}

// FastXmlReader::text() gives a QString directly; give it the same shape.
struct FastAdapter {
    XMLRPC::FastXmlReader reader;
    QXmlStreamReader::TokenType readNext() { return reader.readNext(); }
    QStringView text()
    {
        m_text = reader.text();
        return m_text;
    }
    QString name() const { return reader.name(); }
    bool hasError() const { return reader.hasError(); }
    QString m_text;
};

} // namespace

class tst_FastXmlReader : public QObject {
    Q_OBJECT
private slots:
    void sameAsQtOrStops_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("fastReads");
        QTest::newRow("references") << QByteArray("<a>x &amp; &lt;&gt;&quot;&apos; &#233;&#x1F3AC;</a>")
                                    << true;
        QTest::newRow("CDATA and comments")
            << QByteArray("<a><!-- c --><![CDATA[<b>&amp;]]>t<?pi data?></a><!-- after -->") << true;
        QTest::newRow("line ends") << QByteArray("<a>1\r\n2\r3\n</a>") << true;
        QTest::newRow("char ref CR kept") << QByteArray("<a>1&#13;2</a>") << true;
        QTest::newRow("declaration, BOM, attributes, empty elements")
            << QByteArray(
                   "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\n<a x=\"1\" y='>'><b/><c\n/></a>\n")
            << true;
        QTest::newRow("whitespace text") << QByteArray("<a> <b>  </b>\n</a>") << true;
        QTest::newRow("non-ASCII text") << QByteArray("<a>ñandú 東京</a>") << true;
        QTest::newRow("byte-order mark inside text")
            << QByteArray("\xEF\xBB\xBF<a>\xEF\xBB\xBFx<b/"
                          ">\xEF\xBB\xBF<![CDATA[\xEF\xBB\xBF]]>&amp;\xEF\xBB\xBF</a>")
            << true;

        QTest::newRow("latin-1 declared, read as declared")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xe9</a>") << true;
        QTest::newRow("encoding name with other characters")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ut\xd4@f-8\"?><a/>") << false;
        QTest::newRow("empty encoding name")
            << QByteArray("<?xml version=\"1.0\" encoding=\"\"?><a/>") << false;
        QTest::newRow("stray & between elements") << QByteArray("<a>&  <b/></a>") << false;
        QTest::newRow("invalid UTF-8") << QByteArray("<a>\xe9</a>") << false;
        QTest::newRow("control character") << QByteArray("<a>\x01</a>") << false;
        QTest::newRow("mismatched end") << QByteArray("<a><b></a></b>") << false;
        QTest::newRow("unclosed") << QByteArray("<a><b>") << false;
        QTest::newRow("two roots") << QByteArray("<a/><b/>") << false;
        QTest::newRow("text outside root") << QByteArray("<a/>x") << false;
        QTest::newRow("unknown entity") << QByteArray("<a>&nbsp;</a>") << false;
        QTest::newRow("bad char ref") << QByteArray("<a>&#0;</a>") << false;
        QTest::newRow("char ref with sign") << QByteArray("<a>&#+65;</a>") << false;
        QTest::newRow("bare ampersand") << QByteArray("<a>a & b</a>") << false;
        QTest::newRow("doctype") << QByteArray("<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>") << false;
        QTest::newRow("CDATA end in text") << QByteArray("<a>]]></a>") << false;
        QTest::newRow("double dash in comment") << QByteArray("<a><!-- a -- b --></a>") << false;
        QTest::newRow("late declaration") << QByteArray("<a><?xml version=\"1.0\"?></a>") << false;
        QTest::newRow("attributes run together") << QByteArray("<a x=\"1\"y=\"2\"/>") << false;
        QTest::newRow("less-than in attribute") << QByteArray("<a x=\"<\"/>") << false;
        QTest::newRow("no space after instruction target")
            << QByteArray("<?xmlBversikn=\"1.0\"?><a/>") << false;
        QTest::newRow("declaration without version") << QByteArray("<?xml encoding=\"UTF-8\"?><a/>") << false;
        QTest::newRow("declaration with other pseudo-attribute")
            << QByteArray("<?xml version=\"1.0\" x=\"1\"?><a/>") << false;
        QTest::newRow("unknown encoding")
            << QByteArray("<?xml version=\"1.0\" encoding=\"nope\"?><a/>") << false;
        QTest::newRow("attribute twice") << QByteArray("<a x=\"1\" x=\"2\"/>") << false;
        QTest::newRow("bad reference in attribute") << QByteArray("<a x=\"&nbsp;\"/>") << false;
        QTest::newRow("namespace prefix") << QByteArray("<p:a xmlns:p=\"u\"/>") << false;
        QTest::newRow("non-character U+FFFF") << QByteArray("<a>\xEF\xBF\xBF</a>") << false;
        QString many;
        for (int i = 0; i < 17; ++i)
            many += u" a%1=\"\""_s.arg(i);
        QTest::newRow("17 attributes") << (u"<a"_s + many + u"/>"_s).toUtf8() << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("cut in a tag") << QByteArray("<a><b") << false;
    }
    // The fast reader either reports exactly what QXmlStreamReader reports,
    // or stops so the caller falls back to QXmlStreamReader.
    void sameAsQtOrStops()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, fastReads);
        FastAdapter fast{XMLRPC::FastXmlReader(xml), {}};
        QXmlStreamReader qt(xml);
        const QStringList fastEvents = events(fast);
        if (fastReads) {
            QCOMPARE(fastEvents, events(qt));
            QCOMPARE(fastEvents.last(), u"end"_s);
        } else {
            QCOMPARE(fastEvents.last(), u"error"_s);
        }
    }

    // A document the fast reader leaves alone still reads, through the full parser.
    void fallbackReadsOtherEncodings()
    {
        const XMLRPC::ParsedDocument doc = XMLRPC::ParseDocument(
            "<?xml version=\"1.0\" "
            "encoding=\"ISO-8859-1\"?><methodResponse><params><param><value><string>caf\xe9"
            "</string></value></param></params></methodResponse>");
        QVERIFY2(doc.ok(), qPrintable(doc.error));
        QCOMPARE(doc.params, VariantList{u"café"_s});

        const XMLRPC::ParsedDocument broken =
            XMLRPC::ParseDocument("<methodResponse><params></methodResponse>");
        QVERIFY(!broken.ok());
        QVERIFY2(broken.error.contains(u"line 1"_s), qPrintable(broken.error));
    }
};

LUMBRA_TEST_MAIN(tst_FastXmlReader)
#include "tst_FastXmlReader.moc"

#include "service/XMLRPC.h"
#include "TestMain.h"

#include <QTest>
#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

namespace {

QString encodeToText(const Pair &p)
{
    QDomDocument doc;
    const QDomElement e = XMLRPC::Encode(p, doc);
    QString text;
    QTextStream out(&text);
    e.save(out, -1);
    return text;
}

// Decodes the typed element inside `<value>xml</value>`.
Variant decodeValue(const QString &xml)
{
    QDomDocument doc;
    if (!doc.setContent(u"<value>"_s + xml + u"</value>"_s))
        qFatal("bad test XML");
    return XMLRPC::Decode(doc.documentElement().firstChild());
}

Variant dict(std::initializer_list<std::pair<QString, Variant>> entries)
{
    return QVariant::fromValue(Dictionary(entries));
}

Variant pair(const QString &name, const Variant &value)
{
    return QVariant::fromValue(Pair{name, value});
}

QByteArray member(const QByteArray &name, const QByteArray &value)
{
    return "<member><name>" + name + "</name><value>" + value + "</value></member>";
}

QByteArray arrayOf(const QByteArray &values)
{
    return "<array><data>" + values + "</data></array>";
}

QByteArray replyOf(const QByteArray &params)
{
    return "<methodResponse><params>" + params + "</params></methodResponse>";
}

QByteArray structParam(const QByteArray &members)
{
    return "<param><value><struct>" + members + "</struct></value></param>";
}

// A document read with the entries of its "data" member streamed.
struct StreamedDocument {
    XMLRPC::ParsedDocument doc;
    VariantList entries; // of the last array begun
    int arrays = 0;      // arrays begun

    // The tree with the entries put back where the decoder left them out.
    VariantList reassembled() const
    {
        VariantList params = doc.params;
        if (params.isEmpty() || !isDictionary(params.first()))
            return params;
        Dictionary reply = params.first().value<Dictionary>();
        if (isArray(reply.value(u"data"_s)))
            reply.insert(u"data"_s, entries);
        params.first() = QVariant::fromValue(reply);
        return params;
    }
};

StreamedDocument parseStreamed(const QByteArray &xml)
{
    StreamedDocument read;
    const XMLRPC::EntryStream stream{u"data"_s,
                                     [&read] {
                                         read.entries.clear();
                                         ++read.arrays;
                                     },
                                     [&read](Variant &&entry) { read.entries.append(std::move(entry)); }};
    read.doc = XMLRPC::ParseDocumentStreamed(xml, stream);
    return read;
}

} // namespace

class tst_XMLRPC : public QObject {
    Q_OBJECT
private slots:
    void guessType_data()
    {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("type");
        QTest::newRow("int") << Variant(42) << u"int"_s;
        QTest::newRow("64-bit size") << Variant(qlonglong(7033732714)) << u"double"_s;
        QTest::newRow("unsigned 64-bit") << Variant(qulonglong(1)) << u"double"_s;
        QTest::newRow("double") << Variant(0.5) << u"double"_s;
        QTest::newRow("boolean") << Variant(true) << u"boolean"_s;
        QTest::newRow("text") << Variant(u"x"_s) << u"string"_s;
        QTest::newRow("date") << Variant(QDateTime::currentDateTime()) << u"dateTime.iso8601"_s;
        QTest::newRow("dictionary") << dict({{u"a"_s, 1}}) << u"struct"_s;
        QTest::newRow("array") << Variant(VariantList{1, u"a"_s}) << u"array"_s;
        QTest::newRow("pair") << pair(u"base64"_s, u"AA=="_s) << QString();
        QTest::newRow("nil") << Variant() << QString();
        QTest::newRow("float") << Variant(1.5f) << QString();
        QTest::newRow("other object") << Variant(QVariantMap{{u"a"_s, 1}}) << QString();
    }
    void guessType()
    {
        QFETCH(Variant, value);
        QFETCH(QString, type);
        QCOMPARE(XMLRPC::GuessType(value), type);
        const Pair p = XMLRPC::VariantToPair(value);
        if (isPair(value)) {
            QCOMPARE(p, value.value<Pair>());
        } else {
            QCOMPARE(p.Left.toString(), type);
            QCOMPARE(p.Right, value);
        }
    }

    void encode_data()
    {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("xml");
        QTest::newRow("int") << Variant(-42) << u"<int>-42</int>"_s;
        QTest::newRow("forced i4") << pair(u"i4"_s, 7) << u"<i4>7</i4>"_s;
        QTest::newRow("file size keeps all digits")
            << Variant(qlonglong(7033732714)) << u"<double>7033732714</double>"_s;
        QTest::newRow("largest unsigned 64-bit")
            << Variant(qulonglong(18446744073709551615ull)) << u"<double>18446744073709551615</double>"_s;
        QTest::newRow("negative 64-bit stays negative")
            << Variant(qlonglong(-5000000000)) << u"<double>-5000000000</double>"_s;
        QTest::newRow("whole double") << Variant(3.0) << u"<double>3</double>"_s;
        QTest::newRow("negative double") << Variant(-3.0) << u"<double>-3</double>"_s;
        QTest::newRow("fraction kept") << Variant(0.1) << u"<double>0.1</double>"_s;
        QTest::newRow("true") << Variant(true) << u"<boolean>1</boolean>"_s;
        QTest::newRow("false") << Variant(false) << u"<boolean>0</boolean>"_s;
        QTest::newRow("date") << Variant(QDateTime(QDate(2014, 7, 3), QTime(9, 5, 0)))
                              << u"<dateTime.iso8601>20140703T09:05:00</dateTime.iso8601>"_s;
        QTest::newRow("markup characters escaped")
            << Variant(u"a & b <c> \"q\" 'r'"_s) << u"<string>a &amp; b &lt;c> \"q\" 'r'</string>"_s;
        QTest::newRow("non-ASCII as is")
            << Variant(u"Ça va, 東京 🎬"_s) << u"<string>Ça va, 東京 🎬</string>"_s;
        QTest::newRow("empty text") << Variant(QString()) << u"<string></string>"_s;
        QTest::newRow("forced base64") << pair(u"base64"_s, u"AAE="_s) << u"<base64>AAE=</base64>"_s;
        QTest::newRow("unknown element is empty") << pair(u"nil"_s, 1) << u"<nil/>"_s;
        QTest::newRow("array keeps order, nil becomes empty value")
            << Variant(VariantList{1, u"x"_s, Variant()})
            << u"<array><data><value><int>1</int></value><value><string>x</string></value><value/></data></array>"_s;
        QTest::newRow("empty array") << Variant(VariantList{}) << u"<array><data/></array>"_s;
        QTest::newRow("struct in insertion order, nested")
            << dict({{u"z"_s, 1}, {u"a"_s, dict({{u"in"_s, true}})}})
            << u"<struct><member><name>z</name><value><int>1</int></value></member>"
               "<member><name>a</name><value><struct><member><name>in</name><value><boolean>1</boolean>"
               "</value></member></struct></value></member></struct>"_s;
    }
    void encode()
    {
        QFETCH(Variant, value);
        QFETCH(QString, xml);
        QCOMPARE(encodeToText(XMLRPC::VariantToPair(value)), xml);
    }

    void encodeWithoutNameGivesNullElement()
    {
        QDomDocument doc;
        QVERIFY(XMLRPC::Encode(XMLRPC::VariantToPair(Variant()), doc).isNull());
    }

    void decode_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<Variant>("value");
        QTest::newRow("int is a double") << u"<int>42</int>"_s << Variant(42.0);
        QTest::newRow("i4") << u"<i4>-7</i4>"_s << Variant(-7.0);
        QTest::newRow("double") << u"<double>0.006000</double>"_s << Variant(0.006);
        QTest::newRow("64-bit size in double") << u"<double>7033732714</double>"_s << Variant(7033732714.0);
        QTest::newRow("numeric prefix") << u"<double>12.5abc</double>"_s << Variant(12.5);
        QTest::newRow("plus sign and spaces") << u"<int> +3 </int>"_s << Variant(3.0);
        QTest::newRow("not a number") << u"<int>abc</int>"_s << Variant(0.0);
        QTest::newRow("empty int is integer 0") << u"<int/>"_s << Variant(0);
        QTest::newRow("boolean 1") << u"<boolean>1</boolean>"_s << Variant(true);
        QTest::newRow("boolean word true is false") << u"<boolean>true</boolean>"_s << Variant(false);
        QTest::newRow("empty boolean") << u"<boolean/>"_s << Variant(false);
        QTest::newRow("string with entities")
            << u"<string>a &amp; b &lt;c&gt; &quot;q&quot; &#233;</string>"_s
            << Variant(u"a & b <c> \"q\" é"_s);
        QTest::newRow("CDATA string") << u"<string><![CDATA[<x>]]></string>"_s << Variant(u"<x>"_s);
        QTest::newRow("empty string") << u"<string/>"_s << Variant(QString());
        QTest::newRow("date") << u"<dateTime.iso8601>20140703T09:05:00</dateTime.iso8601>"_s
                              << Variant(QDateTime(QDate(2014, 7, 3), QTime(9, 5, 0)));
        QTest::newRow("base64 with line breaks")
            << u"<base64>AAEC\n/w==</base64>"_s << Variant(QByteArray("\x00\x01\x02\xff", 4));
        QTest::newRow("unknown element is nil") << u"<nil/>"_s << Variant();
        QTest::newRow("bare text is nil") << u"bare"_s << Variant();
        QTest::newRow("empty value is empty text") << QString() << Variant(QString());
        QTest::newRow("array") << u"<array><data><value><int>1</int></value><value><string>x</string></value>"
                                  "<value></value></data></array>"_s
                               << Variant(VariantList{1.0, u"x"_s, QString()});
        QTest::newRow("empty array") << u"<array><data/></array>"_s << Variant(VariantList{});
        QTest::newRow("struct, later member wins")
            << u"<struct><member><name>a</name><value><int>1</int></value></member>"
               "<member><name>A</name><value><string>2</string></value></member></struct>"_s
            << dict({{u"a"_s, u"2"_s}});
        QTest::newRow("empty struct") << u"<struct/>"_s << dict({});
        QTest::newRow("pretty-printed struct")
            << u"<struct>\n <member>\n  <name>k</name>\n  <value>\n   <array>\n    <data>\n     "
               "<value><boolean>0</boolean></value>\n    </data>\n   </array>\n  </value>\n </member>\n</struct>"_s
            << dict({{u"k"_s, VariantList{false}}});
    }
    void decode()
    {
        QFETCH(QString, xml);
        QFETCH(Variant, value);
        const Variant decoded = decodeValue(xml);
        QCOMPARE(decoded.metaType(), value.metaType());
        QCOMPARE(decoded, value);

        // The streaming reader gives the same values.
        const XMLRPC::ParsedDocument doc =
            XMLRPC::ParseDocument((u"<methodResponse><params><param><value>"_s + xml +
                                   u"</value></param></params></methodResponse>"_s)
                                      .toUtf8());
        QVERIFY2(doc.ok(), qPrintable(doc.error));
        QCOMPARE(doc.params.size(), 1);
        QCOMPARE(doc.params.first().metaType(), value.metaType());
        QCOMPARE(doc.params.first(), value);
        const XMLRPC::ParsedDocument qt =
            XMLRPC::ParseDocumentWithQt((u"<methodResponse><params><param><value>"_s + xml +
                                         u"</value></param></params></methodResponse>"_s)
                                            .toUtf8());
        QCOMPARE(qt.params, doc.params);
    }

    void parseDocument_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("error"); // a part of the error text; empty when the document reads
        QTest::newRow("empty") << QByteArray() << u"XML error"_s;
        QTest::newRow("truncated") << QByteArray("<methodResponse><params><param><value><string>x")
                                   << u"XML error"_s;
        QTest::newRow("not XML-RPC") << QByteArray("<html><body>503</body></html>") << u"<html>"_s;
        QTest::newRow("garbage after the root") << QByteArray("<methodResponse/><x>") << u"XML error"_s;
        QTest::newRow("no params") << QByteArray("<methodResponse/>") << QString();
    }
    void parseDocument()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, error);
        const XMLRPC::ParsedDocument doc = XMLRPC::ParseDocument(xml);
        QCOMPARE(doc.ok(), error.isEmpty());
        QVERIFY2(doc.error.contains(error), qPrintable(doc.error));
        if (doc.ok())
            QVERIFY(doc.params.isEmpty());
    }

    // Only the first param's own "data" array is streamed, and what is
    // streamed, put back, is the tree ParseDocument reads.
    void streamedEntriesRebuildTheTree_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("arrays");  // streamed arrays begun
        QTest::addColumn<int>("entries"); // of the last one
        const QByteArray entry =
            "<value><struct>" + member("IDSubtitle", "<string>7</string>") + "</struct></value>";
        const QByteArray status = member("status", "<string>200 OK</string>");
        QTest::newRow("search reply")
            << replyOf(structParam(status + member("data", arrayOf(entry + entry + entry)))) << 1 << 3;
        QTest::newRow("member name in capitals")
            << replyOf(structParam(member("DATA", arrayOf(entry)))) << 1 << 1;
        QTest::newRow("empty array") << replyOf(structParam(member("data", arrayOf("")))) << 1 << 0;
        QTest::newRow("nothing found as false")
            << replyOf(structParam(status + member("data", "<boolean>0</boolean>"))) << 0 << 0;
        QTest::newRow("entries that are arrays")
            << replyOf(structParam(
                   member("data", arrayOf("<value>" + arrayOf("<value><int>1</int></value>") + "</value>"))))
            << 1 << 1;
        QTest::newRow("a deeper data member")
            << replyOf(
                   structParam(member("inner", "<struct>" + member("data", arrayOf(entry)) + "</struct>")))
            << 0 << 0;
        QTest::newRow("the second param's") << replyOf("<param><value><string>x</string></value></param>" +
                                                       structParam(member("data", arrayOf(entry))))
                                            << 0 << 0;
        QTest::newRow("member repeated")
            << replyOf(structParam(member("data", arrayOf(entry + entry)) + member("Data", arrayOf(entry))))
            << 2 << 1;
        QTest::newRow("array replaced by false")
            << replyOf(structParam(member("data", arrayOf(entry)) + member("data", "<boolean>0</boolean>")))
            << 1 << 1;
        QTest::newRow("fault") << QByteArray("<methodResponse><fault><value><struct>" +
                                             member("faultCode", "<int>4</int>") +
                                             member("data", arrayOf(entry)) +
                                             "</struct></value></fault></methodResponse>")
                               << 0 << 0;
    }
    void streamedEntriesRebuildTheTree()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, arrays);
        QFETCH(int, entries);
        const XMLRPC::ParsedDocument whole = XMLRPC::ParseDocument(xml);
        const StreamedDocument streamed = parseStreamed(xml);
        QVERIFY2(whole.ok(), qPrintable(whole.error));
        QVERIFY2(streamed.doc.ok(), qPrintable(streamed.doc.error));
        QCOMPARE(streamed.arrays, arrays);
        QCOMPARE(streamed.entries.size(), entries);
        QCOMPARE(streamed.reassembled(), whole.params);
        QCOMPARE(streamed.doc.isFault, whole.isFault);
        QCOMPARE(streamed.doc.fault, whole.fault);
    }

    // Entries already handed on do not make a document cut short a reply.
    void streamedDocumentCutShortIsAnError()
    {
        const QByteArray entry = "<value><int>1</int></value>";
        const StreamedDocument streamed =
            parseStreamed(replyOf(structParam(member("data", arrayOf(entry + entry)))).chopped(40));
        QCOMPARE(streamed.entries.size(), 2);
        QVERIFY(!streamed.doc.ok());
    }

    // A reply nested deeper than any real one is an error, not a stack
    // overflow, in both streaming readers and in the DOM decoder.
    void valuesNestedTooDeepAreAnError_data()
    {
        QTest::addColumn<QByteArray>("open");
        QTest::addColumn<QByteArray>("close");
        QTest::addColumn<int>("depth"); // "value" elements, the param's own included
        QTest::addColumn<bool>("reads");
        const QByteArray array = "<array><data><value>";
        const QByteArray arrayEnd = "</value></data></array>";
        const QByteArray member = "<struct><member><name>m</name><value>";
        const QByteArray memberEnd = "</value></member></struct>";
        QTest::newRow("arrays at the limit") << array << arrayEnd << XMLRPC::MaxNesting << true;
        QTest::newRow("structs at the limit") << member << memberEnd << XMLRPC::MaxNesting << true;
        QTest::newRow("arrays one deeper") << array << arrayEnd << XMLRPC::MaxNesting + 1 << false;
        QTest::newRow("arrays a million deep") << array << arrayEnd << 1000000 << false;
        QTest::newRow("structs a million deep") << member << memberEnd << 1000000 << false;
    }
    void valuesNestedTooDeepAreAnError()
    {
        QFETCH(QByteArray, open);
        QFETCH(QByteArray, close);
        QFETCH(int, depth);
        QFETCH(bool, reads);
        const QByteArray value =
            "<value>" + open.repeated(depth - 1) + "<int>1</int>" + close.repeated(depth - 1) + "</value>";
        const QByteArray reply =
            "<methodResponse><params><param>" + value + "</param></params></methodResponse>";
        for (const auto &parse : {XMLRPC::ParseDocument, XMLRPC::ParseDocumentWithQt}) {
            const XMLRPC::ParsedDocument doc = parse(reply);
            QCOMPARE(doc.ok(), reads);
            if (!reads)
                QVERIFY2(doc.error.contains(u"nested more than 64 deep"_s), qPrintable(doc.error));
        }
        // Qt's DOM takes quadratic time in the depth: a deep document, not a huge one.
        if (depth > 10000)
            return;
        QDomDocument dom;
        QVERIFY(dom.setContent(value));
        QString error;
        const Variant decoded = XMLRPC::Decode(dom.documentElement().firstChildElement(), error);
        QCOMPARE(error.isEmpty(), reads);
        QCOMPARE(decoded.isValid(), reads);
    }

    void parseDocumentReadsFaultsAndKeepsSpaces()
    {
        const XMLRPC::ParsedDocument fault = XMLRPC::ParseDocument(
            "<?xml version=\"1.0\"?>\n<methodResponse>\n <fault>\n  <value><struct>"
            "<member><name>faultCode</name><value><int>4</int></value></member>"
            "<member><name>faultString</name><value><string>Too many parameters.</string></value></member>"
            "</struct></value>\n </fault>\n</methodResponse>\n");
        QVERIFY(fault.ok());
        QVERIFY(fault.isFault);
        QCOMPARE(fault.fault, dict({{u"faultCode"_s, 4.0}, {u"faultString"_s, u"Too many parameters."_s}}));

        const XMLRPC::ParsedDocument spaces =
            XMLRPC::ParseDocument("<methodCall><methodName>Echo</methodName><params><param><value><string>  "
                                  "</string></value></param>"
                                  "</params></methodCall>");
        QCOMPARE(spaces.methodName, u"Echo"_s);
        QVERIFY(!spaces.isFault);
        QCOMPARE(spaces.params, VariantList{u"  "_s});
    }

    void decodeNullNodeIsEmptyText()
    {
        const Variant v = XMLRPC::Decode(QDomNode());
        QCOMPARE(v.typeId(), QMetaType::QString);
        QVERIFY(v.toString().isEmpty());
    }

    void decodeDateWithoutTextIsNow()
    {
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        const QDateTime d = decodeValue(u"<dateTime.iso8601/>"_s).toDateTime();
        QVERIFY(d >= before && d <= QDateTime::currentDateTime().addSecs(1));
    }

    // Every kind survives a trip through text and back, markup and non-ASCII included.
    void roundTripThroughText()
    {
        const Variant value =
            dict({{u"text"_s, u"<a href=\"x\">&amp;</a> 'q' — naïve 東京 🎬"_s},
                  {u"size"_s, qlonglong(7033732714)},
                  {u"list"_s, VariantList{1, 2.5, false, dict({{u"k"_s, u"v"_s}}), VariantList{}}},
                  {u"when"_s, QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58))}});
        QDomDocument doc;
        QDomElement v = doc.createElement(u"value"_s);
        v.appendChild(XMLRPC::Encode(XMLRPC::VariantToPair(value), doc));
        doc.appendChild(v);
        QDomDocument reread;
        QVERIFY(reread.setContent(doc.toString(-1)));
        const Dictionary back = XMLRPC::Decode(reread.documentElement().firstChild()).value<Dictionary>();
        const Dictionary sent = value.value<Dictionary>();
        QCOMPARE(back.keys(), sent.keys());
        QCOMPARE(back.value(u"text"_s), sent.value(u"text"_s));
        QCOMPARE(back.value(u"size"_s).toDouble(), 7033732714.0);
        QCOMPARE(back.value(u"list"_s),
                 Variant(VariantList{1.0, 2.5, false, dict({{u"k"_s, u"v"_s}}), VariantList{}}));
        QCOMPARE(back.value(u"when"_s), sent.value(u"when"_s));
    }

    void parseISO8601_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime d(QDate(2014, 7, 3), QTime(9, 5, 0));
        QTest::newRow("compact") << u"20140703T09:05:00"_s << d;
        QTest::newRow("date separators") << u"2014-07-03T09:05:00"_s << d;
        QTest::newRow("trailing zone ignored") << u"2014-07-03T09:05:00+02:00"_s << d;
        QTest::newRow("day rolls over")
            << u"20140230T10:00:00"_s << QDateTime(QDate(2014, 3, 2), QTime(10, 0));
        QTest::newRow("midnight rolls over")
            << u"20141231T24:00:00"_s << QDateTime(QDate(2015, 1, 1), QTime(0, 0));
    }
    void parseISO8601()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        QCOMPARE(XMLRPC::ParseISO8601(text), expected);
    }

    void parseISO8601WithoutMatchIsNow_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("space instead of T") << u"2013-10-16 16:56:06"_s;
        QTest::newRow("empty") << QString();
        QTest::newRow("cut short") << u"20140703T09:05"_s;
        QTest::newRow("non-ASCII digits") << u"٢٠١٤0703T09:05:00"_s;
    }
    void parseISO8601WithoutMatchIsNow()
    {
        QFETCH(QString, text);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        const QDateTime d = XMLRPC::ParseISO8601(text);
        QVERIFY(d >= before && d <= QDateTime::currentDateTime().addSecs(1));
    }

    void ceroPad_data()
    {
        QTest::addColumn<qint64>("n");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("text");
        QTest::newRow("padded") << qint64(7) << 2 << u"07"_s;
        QTest::newRow("longer kept") << qint64(123) << 2 << u"123"_s;
        QTest::newRow("year") << qint64(14) << 4 << u"0014"_s;
        QTest::newRow("zero width") << qint64(0) << 0 << u"0"_s;
        QTest::newRow("zeros after the sign") << qint64(-5) << 3 << u"-05"_s;
    }
    void ceroPad()
    {
        QFETCH(qint64, n);
        QFETCH(int, width);
        QFETCH(QString, text);
        QCOMPARE(XMLRPC::CeroPad(n, width), text);
    }

    void myFormat_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text");
        const QString fraction = u"-#.####################"_s;
        QTest::newRow("no trailing point") << 3.0 << fraction << u"3"_s;
        QTest::newRow("no trailing zeros") << 2.5 << fraction << u"2.5"_s;
        QTest::newRow("shortest fraction") << 0.1 << fraction << u"0.1"_s;
        QTest::newRow("negative") << -0.25 << fraction << u"-0.25"_s;
        QTest::newRow("integer pattern rounds") << 2.6 << u"-#"_s << u"3"_s;
        QTest::newRow("integer zero") << 0.0 << u"-#"_s << u"0"_s;
        QTest::newRow("negative integer") << -12.0 << u"-#"_s << u"-12"_s;
        QTest::newRow("no sign without dash") << -12.0 << u"#"_s << u"12"_s;
        QTest::newRow("negative rounds to zero") << -0.0001 << u"-#"_s << u"0"_s;
        QTest::newRow("big whole number") << 7033732714.0 << u"-#"_s << u"7033732714"_s;
        QTest::newRow("fraction limited") << 1.0 / 3 << u"-#.##"_s << u"0.33"_s;
        QTest::newRow("no exponent") << 1e-7 << fraction << u"0.0000001"_s;
    }
    void myFormat()
    {
        QFETCH(double, x);
        QFETCH(QString, format);
        QFETCH(QString, text);
        QCOMPARE(XMLRPC::MyFormat(x, format), text);
    }
};

LUMBRA_TEST_MAIN(tst_XMLRPC)
#include "tst_XMLRPC.moc"

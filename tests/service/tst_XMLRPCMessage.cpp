#include "service/XMLRPC.h"
#include "service/XMLRPCMessage.h"
#include "TestMain.h"

#include <QDomDocument>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {
const QString Declaration = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"_s;

// The request written as one DOM tree.
QString asOneTree(const XMLRPC::Message &m)
{
    QDomDocument doc;
    doc.appendChild(doc.createProcessingInstruction(u"xml"_s, u"version=\"1.0\" encoding=\"UTF-8\""_s));
    QDomElement call = doc.createElement(u"methodCall"_s);
    QDomElement name = doc.createElement(u"methodName"_s);
    name.appendChild(doc.createTextNode(m.MethodName));
    QDomElement params = doc.createElement(u"params"_s);
    for (const Pair &p : m.params()) {
        QDomElement param = doc.createElement(u"param"_s);
        QDomElement value = doc.createElement(u"value"_s);
        value.appendChild(XMLRPC::Encode(p, doc));
        param.appendChild(value);
        params.appendChild(param);
    }
    call.appendChild(name);
    call.appendChild(params);
    doc.appendChild(call);
    return doc.toString(-1);
}
} // namespace

class tst_XMLRPCMessage : public QObject {
    Q_OBJECT
private slots:
    void emptyMessageHasEmptyParams()
    {
        XMLRPC::Message m(u"ServerInfo"_s);
        QCOMPARE(m.Serialize(),
                 Declaration + u"<methodCall><methodName>ServerInfo</methodName><params/></methodCall>"_s);
        QVERIFY(XMLRPC::Message().MethodName.isEmpty());
    }

    void addParamPicksTheKind_data()
    {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<QString>("element"); // empty: nothing appended
        QTest::newRow("nil") << Variant() << QString();
        QTest::newRow("pair") << QVariant::fromValue(Pair{u"int"_s, 1}) << QString();
        QTest::newRow("float") << Variant(1.5f) << QString();
        QTest::newRow("int") << Variant(5) << u"<int>5</int>"_s;
        QTest::newRow("file size") << Variant(qlonglong(7033732714)) << u"<double>7033732714</double>"_s;
        QTest::newRow("unsigned beyond 2^53")
            << Variant(qulonglong(9007199254740993ull)) << u"<double>9007199254740993</double>"_s;
        QTest::newRow("double") << Variant(1.25) << u"<double>1.25</double>"_s;
        QTest::newRow("boolean") << Variant(false) << u"<boolean>0</boolean>"_s;
        QTest::newRow("text") << Variant(u"en"_s) << u"<string>en</string>"_s;
        QTest::newRow("date") << Variant(QDateTime(QDate(2014, 7, 3), QTime(9, 5)))
                              << u"<dateTime.iso8601>20140703T09:05:00</dateTime.iso8601>"_s;
        QTest::newRow("array") << Variant(VariantList{u"a"_s})
                               << u"<array><data><value><string>a</string>"
                                  "</value></data></array>"_s;
        QTest::newRow("struct in struct")
            << QVariant::fromValue(Dictionary{{u"outer"_s, QVariant::fromValue(Dictionary{{u"in"_s, 1}})}})
            << u"<struct><member><name>outer</name><value><struct><member><name>in</name><value><int>1</int>"
               "</value></member></struct></value></member></struct>"_s;
    }
    void addParamPicksTheKind()
    {
        QFETCH(Variant, value);
        QFETCH(QString, element);
        XMLRPC::Message m(u"M"_s);
        m.AddParam_String(u"first"_s);
        m.AddParam(value);
        QCOMPARE(m.params().size(), element.isEmpty() ? 1 : 2);
        const QString head = Declaration + u"<methodCall><methodName>M</methodName><params>"
                                           "<param><value><string>first</string></value></param>"_s;
        const QString params =
            element.isEmpty() ? QString() : u"<param><value>"_s + element + u"</value></param>"_s;
        QCOMPARE(m.Serialize(), head + params + u"</params></methodCall>"_s);
    }

    // Array items are written one at a time, into the text one tree gives.
    void arraysWriteAsOneTree_data()
    {
        QTest::addColumn<VariantList>("items");
        const auto query = [](const QString &hash) {
            return QVariant::fromValue(
                Dictionary{{u"moviehash"_s, hash}, {u"moviebytesize"_s, qlonglong(7033732714)}});
        };
        QTest::newRow("queries") << VariantList{query(u"8e245d9679d31e12"_s), query(u"<a & b>"_s)};
        QTest::newRow("nested and empty arrays") << VariantList{
            VariantList{}, VariantList{1, VariantList{u"x"_s}}, QVariant::fromValue(Dictionary{})};
        QTest::newRow("nil and odd items") << VariantList{Variant(), 1.5f, u""_s, true};
        QTest::newRow("forced kinds") << VariantList{QVariant::fromValue(Pair{u"base64"_s, u"AA=="_s}),
                                                     QVariant::fromValue(Pair{u"i4"_s, 7})};
    }
    void arraysWriteAsOneTree()
    {
        QFETCH(VariantList, items);
        XMLRPC::Message m(u"SearchSubtitles"_s);
        m.AddParam_String(u"token"_s);
        m.AddParam_Array(items);
        m.AddParam_Dictionary({{u"limit"_s, 500}});
        QCOMPARE(m.Serialize(), asOneTree(m));
    }

    void typedAddParamsKeepOrderAndTags()
    {
        XMLRPC::Message m(u"LogIn"_s);
        m.AddParam_String(u"user & co"_s);
        m.AddParam_Integer(-3);
        m.AddParam_IntegerLong(7033732714ull);
        m.AddParam_Double(2.0);
        m.AddParam_Boolean(true);
        m.AddParam_Array({});
        m.AddParam_Dictionary({});
        m.AddParam_Date(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)));
        QStringList tags;
        for (const Pair &p : m.params())
            tags << p.Left.toString();
        QCOMPARE(tags, (QStringList{u"string"_s, u"int"_s, u"double"_s, u"double"_s, u"boolean"_s, u"array"_s,
                                    u"struct"_s, u"dateTime.iso8601"_s}));
        QCOMPARE(m.Serialize(),
                 Declaration +
                     u"<methodCall><methodName>LogIn</methodName><params>"
                     "<param><value><string>user &amp; co</string></value></param>"
                     "<param><value><int>-3</int></value></param>"
                     "<param><value><double>7033732714</double></value></param>"
                     "<param><value><double>2</double></value></param>"
                     "<param><value><boolean>1</boolean></value></param>"
                     "<param><value><array><data/></array></value></param>"
                     "<param><value><struct/></value></param>"
                     "<param><value><dateTime.iso8601>20010203T04:05:06</dateTime.iso8601></value></param>"
                     "</params></methodCall>"_s);
    }

    void binaryIsBase64InLinesOf76()
    {
        QByteArray bytes(100, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7);
        XMLRPC::Message m(u"Upload"_s);
        m.AddParam_Binary(bytes);
        QCOMPARE(m.params().size(), 1);
        QCOMPARE(m.params().first().Left.toString(), u"base64"_s);
        const QStringList lines = m.params().first().Right.toString().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0).size(), 76);
        QCOMPARE(lines.at(1).size(), 136 - 76);

        QDomDocument doc;
        QVERIFY(doc.setContent(m.Serialize()));
        const QDomNode value = doc.documentElement().firstChildElement(u"params"_s).firstChild().firstChild();
        QCOMPARE(XMLRPC::Decode(value.firstChild()).toByteArray(), bytes);
    }
};

LUMBRA_TEST_MAIN(tst_XMLRPCMessage)
#include "tst_XMLRPCMessage.moc"

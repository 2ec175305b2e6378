#include "service/XMLRPCMessage.h"

#include "service/XMLRPC.h"

#include <QDomDocument>

using namespace Qt::Literals::StringLiterals;

namespace XMLRPC {

Message::Message(const QString &name)
    : MethodName(name)
{
}

void Message::append(const QString &type, const Variant &value)
{
    m_params.append(Pair{type, value});
}

void Message::AddParam(const Variant &value)
{
    const QString type = GuessType(value);
    if (type == "array"_L1)
        AddParam_Array(value.toList());
    else if (type == "boolean"_L1)
        AddParam_Boolean(value.toBool());
    else if (type == "dateTime.iso8601"_L1)
        AddParam_Date(value.toDateTime());
    else if (type == "double"_L1) {
        // A double holds integers exactly only up to 2^53; keep a 64-bit
        // integer as it is so the encoder writes every digit.
        if (value.typeId() == QMetaType::Double)
            AddParam_Double(value.toDouble());
        else
            append(type, value);
    } else if (type == "int"_L1)
        AddParam_Integer(value.toInt());
    else if (type == "struct"_L1)
        AddParam_Dictionary(value.value<Dictionary>());
    else if (type == "string"_L1)
        AddParam_String(value.toString());
}

void Message::AddParam_Array(const VariantList &values)
{
    append(u"array"_s, values);
}

void Message::AddParam_Binary(const QByteArray &bytes)
{
    const QByteArray encoded = bytes.toBase64();
    QString lines;
    lines.reserve(encoded.size() + encoded.size() / 76);
    for (qsizetype i = 0; i < encoded.size(); i += 76) {
        if (i > 0)
            lines += u'\n';
        lines += QLatin1StringView(encoded.mid(i, 76));
    }
    append(u"base64"_s, lines);
}

void Message::AddParam_Boolean(bool value)
{
    append(u"boolean"_s, value);
}

void Message::AddParam_Date(const Date &value)
{
    append(u"dateTime.iso8601"_s, value);
}

void Message::AddParam_Dictionary(const Dictionary &value)
{
    append(u"struct"_s, QVariant::fromValue(value));
}

void Message::AddParam_Double(double value)
{
    append(u"double"_s, value);
}

void Message::AddParam_Integer(qint32 value)
{
    append(u"int"_s, value);
}

void Message::AddParam_IntegerLong(quint64 value)
{
    append(u"double"_s, QVariant::fromValue<qulonglong>(value));
}

void Message::AddParam_String(const QString &value)
{
    append(u"string"_s, value);
}

namespace {

// One typed element as the document writes it.
QString elementText(const Pair &p)
{
    QDomDocument doc;
    doc.appendChild(Encode(p, doc));
    return doc.toString(-1);
}

// A "value" element holding `p`, as one document of the whole request
// writes it. The items of an array are written one at a time: a search's
// thousands of queries in one DOM tree took several times the memory of
// the request's text.
QString valueText(const Pair &p)
{
    if (p.Left.toString().isEmpty())
        return u"<value/>"_s;
    const VariantList items = p.Left.toString() == "array"_L1 ? p.Right.toList() : VariantList();
    if (items.isEmpty())
        return u"<value>"_s + elementText(p) + u"</value>"_s;
    QString text = u"<value><array><data>"_s;
    for (const Variant &item : items)
        text += valueText(VariantToPair(item));
    return text + u"</data></array></value>"_s;
}

} // namespace

QString Message::Serialize() const
{
    QDomDocument doc;
    doc.appendChild(doc.createProcessingInstruction(u"xml"_s, u"version=\"1.0\" encoding=\"UTF-8\""_s));
    QDomElement call = doc.createElement(u"methodCall"_s);
    QDomElement name = doc.createElement(u"methodName"_s);
    name.appendChild(doc.createTextNode(MethodName));
    call.appendChild(name);
    call.appendChild(doc.createElement(u"params"_s));
    doc.appendChild(call);
    QString text = doc.toString(-1);
    if (m_params.isEmpty())
        return text;
    // The params go in as text, in place of the empty element.
    const auto emptyParams = "<params/></methodCall>"_L1;
    Q_ASSERT(text.endsWith(emptyParams));
    text.chop(emptyParams.size());
    text += u"<params>"_s;
    for (const Pair &p : m_params)
        text += u"<param>"_s + valueText(p) + u"</param>"_s;
    return text + u"</params></methodCall>"_s;
}

} // namespace XMLRPC

#pragma once

#include "common/Types.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace XMLRPC {

// One XML-RPC request under construction: a method name and its parameters,
// each a Pair of element name and value, kept in the order they were added.
class Message final {
public:
    Message() = default;
    explicit Message(const QString &name);

    QString MethodName;

    // Appends `value` as the kind GuessType picks for it. Values without an
    // XML-RPC kind (nil, a Pair, a float) append nothing. Integers wider than
    // 32 bits keep all their digits in a "double" element.
    void AddParam(const Variant &value);

    void AddParam_Array(const VariantList &values);
    // Base64-encodes `bytes`, in lines of 76 characters.
    void AddParam_Binary(const QByteArray &bytes);
    void AddParam_Boolean(bool value);
    void AddParam_Date(const Date &value);
    void AddParam_Dictionary(const Dictionary &value);
    void AddParam_Double(double value);
    void AddParam_Integer(qint32 value);
    void AddParam_IntegerLong(quint64 value);
    void AddParam_String(const QString &value);

    // The request document: methodCall > methodName, params > param > value >
    // typed element, without any formatting whitespace.
    QString Serialize() const;

    const QList<Pair> &params() const { return m_params; }

private:
    void append(const QString &type, const Variant &value);

    QList<Pair> m_params;
};

} // namespace XMLRPC

#include "service/rest/RestQuery.h"

#include <QMap>
#include <QStringList>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace RestQuery {

namespace {

bool isDefault(const QString &key, const QString &value)
{
    static const QMap<QString, QString> defaults = {{u"ai_translated"_s, u"include"_s},
                                                    {u"machine_translated"_s, u"exclude"_s},
                                                    {u"order_direction"_s, u"desc"_s},
                                                    {u"page"_s, u"1"_s}};
    return defaults.value(key) == value;
}

// "tt0770828" and "0770828" are both 770828.
QString plainNumber(QString value)
{
    if (value.startsWith("tt"_L1))
        value.remove(0, 2);
    qsizetype zeros = 0;
    while (zeros + 1 < value.size() && value.at(zeros) == u'0')
        ++zeros;
    return value.mid(zeros);
}

QString encode(const QString &value)
{
    QString out;
    for (const char c : value.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
            u == '.' || u == '_' || u == '~')
            out += QLatin1Char(c);
        else if (u == ' ')
            out += u'+';
        else
            out += u'%' + QString::number(u, 16).toUpper().rightJustified(2, u'0');
    }
    return out;
}

} // namespace

QString canonical(const Pairs &pairs)
{
    QMap<QString, QString> sorted;
    for (const auto &[rawKey, rawValue] : pairs) {
        const QString key = rawKey.toLower();
        QString value = rawValue.toLower();
        if (key.endsWith("_id"_L1) || key.endsWith("_number"_L1))
            value = plainNumber(value);
        if (key == "languages"_L1) {
            QStringList codes = value.split(u',', Qt::SkipEmptyParts);
            std::sort(codes.begin(), codes.end());
            codes.removeDuplicates();
            value = codes.join(u',');
        }
        if (!isDefault(key, value))
            sorted.insert(key, value);
    }
    QStringList parts;
    for (auto it = sorted.cbegin(); it != sorted.cend(); ++it)
        parts.append(encode(it.key()) + u'=' + encode(it.value()));
    return parts.join(u'&');
}

} // namespace RestQuery

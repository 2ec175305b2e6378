#include "service/rest/RestJson.h"

#include <QJsonDocument>

#include <cmath>

namespace RestJson {

int nestingDepth(const QByteArray &bytes, int limit)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : bytes) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit)
                return deepest;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

std::optional<QJsonObject> parseObject(const QByteArray &bytes)
{
    if (bytes.size() > kMaxReplyBytes || nestingDepth(bytes) > kMaxDepth)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

qint64 integer(const QJsonValue &value, qint64 min, qint64 max, qint64 fallback)
{
    double n;
    if (value.isDouble()) {
        n = value.toDouble();
    } else if (value.isString()) {
        const QString t = value.toString().trimmed();
        bool ok = false;
        const qint64 parsed = t.size() <= 19 ? t.toLongLong(&ok) : 0;
        return ok && parsed >= min && parsed <= max ? parsed : fallback;
    } else {
        return fallback;
    }
    // Outside ±2^53 a double no longer holds whole numbers exactly.
    if (!std::isfinite(n) || n != std::floor(n) || std::fabs(n) > 9007199254740992.0)
        return fallback;
    const auto whole = qint64(n);
    return whole >= min && whole <= max ? whole : fallback;
}

double number(const QJsonValue &value, double min, double max, double fallback)
{
    if (!value.isDouble() || !std::isfinite(value.toDouble()))
        return fallback;
    return std::clamp(value.toDouble(), min, max);
}

QString text(const QJsonValue &value)
{
    if (value.isString())
        return value.toString().left(kMaxTextLength);
    if (value.isDouble() && std::isfinite(value.toDouble()))
        return QString::number(value.toDouble(), 'g', 17);
    return QString();
}

bool flag(const QJsonValue &value)
{
    return value.isBool() && value.toBool();
}

QJsonObject object(const QJsonValue &value)
{
    return value.isObject() ? value.toObject() : QJsonObject();
}

QJsonArray array(const QJsonValue &value)
{
    return value.isArray() ? value.toArray() : QJsonArray();
}

} // namespace RestJson

#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

// Careful reading of the REST API's JSON replies. A reply is only parsed when
// it is small enough and not nested deeper than any real reply; every value
// is then read with its kind and range checked, so a hostile or broken reply
// yields defaults and errors, never a crash or an absurd number.
namespace RestJson {

// Real replies are a few levels deep (reply, data, item, attributes,
// feature_details / files / uploader); this leaves room and stops a reply of
// a million nested brackets before any parser recurses into it.
constexpr int kMaxDepth = 16;
// The largest reply body read as JSON (a full search page is about 100 KB).
constexpr qsizetype kMaxReplyBytes = 8 * 1024 * 1024;
// Longer texts from the service are cut to this length.
constexpr qsizetype kMaxTextLength = 1024;

// The deepest nesting of arrays and objects in `bytes`, counted outside
// strings; stops counting once it passes `limit`.
int nestingDepth(const QByteArray &bytes, int limit = kMaxDepth);

// The reply's top-level object, or nothing when the body is too large, too
// deep, not JSON or not an object.
std::optional<QJsonObject> parseObject(const QByteArray &bytes);

// A whole number within [min, max], or `fallback` when the value is absent,
// null, not a number, not whole, or out of range. Text made of digits counts
// (the API writes some ids as text).
qint64 integer(const QJsonValue &value, qint64 min, qint64 max, qint64 fallback = 0);
// A finite number within [min, max] (clamped), or `fallback`.
double number(const QJsonValue &value, double min, double max, double fallback = 0);
// Text cut to kMaxTextLength; a number is written out; anything else is empty.
QString text(const QJsonValue &value);
// true only for the JSON value true.
bool flag(const QJsonValue &value);
// The value as an object or array; empty when it is of another kind.
QJsonObject object(const QJsonValue &value);
QJsonArray array(const QJsonValue &value);

} // namespace RestJson

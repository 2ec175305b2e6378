#pragma once

#include <QList>
#include <QString>

#include <utility>

// Search queries in the one form the REST API answers without a redirect:
// keys and values in lower case, keys sorted, default values left out, ids
// and episode numbers without "tt" and leading zeros, the languages sorted,
// spaces written as "+" and the commas between languages as "%2C". Every
// other byte outside letters, digits and "-._~" is percent-encoded in upper
// case. A query in another form costs a 301 and a second request against
// the per-second limit.
namespace RestQuery {

using Pairs = QList<std::pair<QString, QString>>;

// The canonical query string (without "?") of the given pairs.
QString canonical(const Pairs &pairs);

} // namespace RestQuery

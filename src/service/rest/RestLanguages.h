#pragma once

#include <QString>

// Language codes between Lumbra's table (two-letter codes, with "pb" for
// Portuguese as spoken in Brazil) and the REST API, which uses lower-case
// ISO 639-1 codes plus a few of its own ("pt-br", "pt-pt", "zh-cn", ...) and
// may answer in the database's letter case ("pt-BR").
namespace RestLanguages {

// The code the API is asked for; empty for a code Lumbra does not offer.
QString toRest(const QString &twoLetter);
// Lumbra's two-letter code of a code in a reply, compared without regard to
// letter case; empty for a language Lumbra does not offer.
QString fromRest(const QString &restCode);

} // namespace RestLanguages

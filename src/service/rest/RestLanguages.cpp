#include "service/rest/RestLanguages.h"

#include "common/LangModule.h"

using namespace Qt::Literals::StringLiterals;

namespace RestLanguages {

namespace {
// Where the API's code is not our two-letter code. Plain "pt" and "zh" are no
// API codes; the European and simplified forms are what our table means.
struct Special {
    QLatin1StringView ours;
    QLatin1StringView rest;
};
constexpr Special kSpecials[] = {{"pb"_L1, "pt-br"_L1}, {"pt"_L1, "pt-pt"_L1}, {"zh"_L1, "zh-cn"_L1}};
} // namespace

QString toRest(const QString &twoLetter)
{
    const QString code = twoLetter.trimmed().toLower();
    if (!LangModule::langArray().contains(code))
        return QString();
    for (const Special &s : kSpecials) {
        if (code == s.ours)
            return s.rest;
    }
    return code;
}

QString fromRest(const QString &restCode)
{
    const QString code = restCode.trimmed().toLower();
    for (const Special &s : kSpecials) {
        if (code == s.rest)
            return s.ours;
    }
    // "pb" is our own code, not the API's.
    if (code.size() != 2 || code == "pb"_L1)
        return QString();
    return LangModule::langArray().contains(code) ? code : QString();
}

} // namespace RestLanguages

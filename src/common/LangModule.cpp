#include "common/LangModule.h"

#include "common/translationStrings.h"

#include <QCoreApplication>

using namespace Qt::Literals::StringLiterals;

namespace LangModule {
namespace {

// The first field of each list is a header; the languages follow in the
// same order in all three lists.
const QStringList &twoLetterList()
{
    static const QStringList list =
        u"ISO 639-1|ar|bg|ca|cs|da|de|el|en|es|et|eu|fa|fi|fr|gl|he|hi|hr|hu|id|is|it|ja|ka|ko|mk|ms|nl|no|"
        u"oc|pb|pl|pt|ro|ru|sk|sl|sq|sr|sv|tr|uk|vi|zh"_s.split(u'|');
    return list;
}

const QStringList &threeLetterList()
{
    static const QStringList list =
        u"ISO 639-2|ara|bul|cat|cze|dan|ger|ell|eng|spa|est|baq|per|fin|fre|glg|heb|hin|hrv|hun|ind|ice|ita|"
        u"jpn|geo|kor|mac|may|dut|nor|oci|pob|pol|por|rum|rus|slo|slv|alb|scc|swe|tur|ukr|vie|chi"_s.split(
            u'|');
    return list;
}

// Position of the first field equal to `text`, header included; -1 if none.
qsizetype positionIn(const QStringList &fields, const QString &text)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (fields.at(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString fieldAt(const QStringList &fields, qsizetype position)
{
    return position >= 0 && position < fields.size() ? fields.at(position) : QString();
}

} // namespace

QStringList langArray()
{
    static const QStringList codes = twoLetterList().mid(1);
    return codes;
}

QString languageTable(const QString &language)
{
    static const struct {
        const char *source;
        const char *comment;
    } names =
        QT_TRANSLATE_NOOP3("LangModule",
                           "DEFAULT|Arabic|Bulgarian|Catalan / Valencian|Czech|Danish|German|Greek|English|"
                           "Spanish|Estonian|Basque|Persian|Finnish|French|Galician|Hebrew|Hindi|Croatian|"
                           "Hungarian|Indonesian|Icelandic|Italian|Japanese|Georgian|Korean|Macedonian|Malay|"
                           "Dutch|Norwegian|Occitan/Provençal|Portuguese (Brazil)|Polish|Portuguese|"
                           "Romanian|Russian|Slovak|Slovenian|Albanian|Serbian|Swedish|Turkish|Ukrainian|"
                           "Vietnamese|Chinese",
                           "languageTable");
    return translationStrings::translate("LangModule", names.source, names.comment, language);
}

QString getLangThree(const QString &text)
{
    if (text.size() == 3)
        return text;
    if (text.size() == 2)
        return fieldAt(threeLetterList(), positionIn(twoLetterList(), text));
    if (text.size() > 3)
        return fieldAt(threeLetterList(), positionIn(languageTable().split(u'|'), text));
    return QString();
}

QString getLangTwo(const QString &text)
{
    if (text.size() == 2)
        return text;
    if (text.size() == 3)
        return fieldAt(twoLetterList(), positionIn(threeLetterList(), text));
    if (text.size() > 3)
        return fieldAt(twoLetterList(), positionIn(languageTable().split(u'|'), text));
    return QString();
}

QString getLangFull(const QString &code)
{
    qsizetype position = -1;
    if (code.size() == 2)
        position = positionIn(twoLetterList(), code);
    else if (code.size() == 3)
        position = positionIn(threeLetterList(), code);
    if (position < 0)
        return QString();
    return fieldAt(languageTable().split(u'|'), position);
}

} // namespace LangModule

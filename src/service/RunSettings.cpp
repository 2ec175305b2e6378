#include "service/RunSettings.h"

#include "service/ProviderChoice.h"

using namespace Qt::Literals::StringLiterals;

RunSettings RunSettings::of(const myPrefs::Values &prefs)
{
    return {prefs, wantedLanguages(prefs)};
}

RunSettings RunSettings::fromPreferences()
{
    return of(myPrefs::values());
}

QStringList RunSettings::wantedLanguages(const myPrefs::Values &prefs)
{
    return prefs.languageList.isEmpty() ? QStringList{u"en"_s} : prefs.languageList;
}

BestChoice::Wishes RunSettings::wishes() const
{
    return {prefs.HearingImpaired, prefs.SkipMachineTranslated};
}

ProviderAccount RunSettings::account() const
{
    return ProviderChoice::accountOf(prefs);
}

PlacementOptions RunSettings::placement() const
{
    return {myPrefs::languageInSubtitleNames(prefs), prefs.ConvertToUTF8};
}

JobRecords::IntakeSettings RunSettings::intake() const
{
    return {prefs.languageList, prefs.EmbeddedSubsCount};
}

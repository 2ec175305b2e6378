#include "prefs/myPrefs.h"

#include "common/AppIdentity.h"
#include "prefs/PrefSecrets.h"
#include "prefs/XPrefs.h"

#include <QDir>
#include <QMutex>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace myPrefs {
namespace {

QMutex valuesMutex;
Values current; // guarded by valuesMutex

template<typename T> T get(T Values::*member)
{
    QMutexLocker lock(&valuesMutex);
    return current.*member;
}

template<typename T> void set(T Values::*member, const T &value)
{
    QMutexLocker lock(&valuesMutex);
    current.*member = value;
}

// Takes the stored value of `key` when the store has one of the right kind;
// otherwise puts the current value into the store so the next save writes it.
void loadBool(Values &v, bool Values::*member, const QString &key)
{
    const Variant stored = XPrefs::Value(key);
    if (stored.isValid() && stored.metaType().id() == QMetaType::Bool)
        v.*member = stored.toBool();
    else
        XPrefs::setValue(key, v.*member);
}

void loadText(Values &v, QString Values::*member, const QString &key)
{
    const Variant stored = XPrefs::Value(key);
    if (stored.isValid() && stored.metaType().id() == QMetaType::QString)
        v.*member = stored.toString();
    else
        XPrefs::setValue(key, v.*member);
}

QStringList textsOf(const Variant &list)
{
    QStringList result;
    for (const Variant &item : list.toList()) {
        if (item.metaType().id() == QMetaType::QString && !item.toString().isEmpty())
            result.append(item.toString());
    }
    return result;
}

// A preference file written before the REST API existed holds no provider.
// Whoever set up the XML-RPC service there (an account, or an address of
// their own) keeps it; everyone else, like a new install, gets the REST API,
// the one that serves accounts without a subscription.
QString storedProvider()
{
    const QString stored = providerNamed(XPrefs::Value(u"ServiceProvider"_s).toString());
    if (!stored.isEmpty())
        return stored;
    const Variant user = XPrefs::Value(u"OSUsername"_s);
    const Variant server = XPrefs::Value(u"OSAPIServer"_s);
    const bool account = user.metaType().id() == QMetaType::QString && !user.toString().isEmpty();
    const bool ownServer = server.metaType().id() == QMetaType::QString && !server.toString().isEmpty() &&
                           server.toString() != defaultOSAPIServer();
    return account || ownServer ? QString(kProviderXmlRpc) : QString(kProviderRest);
}

} // namespace

QString providerNamed(const QString &name)
{
    const QString lower = name.trimmed().toLower();
    return lower == kProviderRest || lower == kProviderXmlRpc ? lower : QString();
}

QString hearingImpairedNamed(const QString &name)
{
    const QString lower = name.trimmed().toLower();
    return lower == kHearingAny || lower == kHearingAvoid || lower == kHearingOnly ? lower : QString();
}

namespace {
// An unknown word keeps the plain choice.
QString hearingImpairedOrAny(const QString &name)
{
    const QString known = hearingImpairedNamed(name);
    return known.isEmpty() ? QString(kHearingAny) : known;
}
} // namespace

QString defaultOSAPIServer()
{
    return Values().OSAPIServer;
}

QString prefsdir()
{
    static const QString dir = [] {
        const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        const QString path = QDir(base).filePath(AppIdentity::AppName);
        // Creates the configuration folder too when a fresh account has none.
        if (!QFileInfo::exists(path))
            QDir().mkpath(path);
        return path;
    }();
    return dir;
}

void loadAllPrefs()
{
    Values v = values();

    // An empty stored list would leave nothing to search in: treat it as absent.
    const QStringList stored = textsOf(XPrefs::Value(u"languageList"_s));
    if (XPrefs::HasKey(u"languageList"_s) && !stored.isEmpty())
        v.languageList = stored;
    else if (v.languageList.isEmpty())
        v.languageList.append(v.defaultLanguage);

    // Before the other keys: it looks at what the file held as it was read.
    v.ServiceProvider = storedProvider();
    XPrefs::setValue(u"ServiceProvider"_s, v.ServiceProvider);

    loadBool(v, &Values::addLanguageExt, u"addLanguageExt"_s);
    loadText(v, &Values::defaultLanguage, u"defaultLanguage"_s);
    loadText(v, &Values::OSAPIServer, u"OSAPIServer"_s);
    loadBool(v, &Values::refreshSubs, u"refreshSubs"_s);
    loadBool(v, &Values::RenameSubs, u"RenameSubs"_s);
    loadBool(v, &Values::autoSearchSubs, u"autoSearchSubs"_s);
    loadBool(v, &Values::autoGetSubs, u"autoGetSubs"_s);
    loadBool(v, &Values::fixTimingAfterDownload, u"fixTimingAfterDownload"_s);
    loadBool(v, &Values::AutoRetrySearch, u"AutoRetrySearch"_s);
    loadBool(v, &Values::ListAllFiles, u"ListAllFiles"_s);
    loadBool(v, &Values::AutoFlagNonHash, u"AutoFlagNonHash"_s);
    loadText(v, &Values::RestApiKey, u"RestApiKey"_s);
    loadText(v, &Values::RestServer, u"RestServer"_s);
    loadBool(v, &Values::EmbeddedSubsCount, u"EmbeddedSubsCount"_s);
    loadText(v, &Values::HearingImpaired, u"HearingImpaired"_s);
    v.HearingImpaired = hearingImpairedOrAny(v.HearingImpaired);
    loadBool(v, &Values::SkipMachineTranslated, u"SkipMachineTranslated"_s);
    loadBool(v, &Values::ConvertToUTF8, u"ConvertToUTF8"_s);

    // The account is read when present and never written back here.
    for (const auto &[member, key] :
         {std::pair{&Values::OSUsername, u"OSUsername"_s}, std::pair{&Values::OSPassword, u"OSPassword"_s}}) {
        const Variant value = XPrefs::Value(key);
        if (value.metaType().id() == QMetaType::QString)
            v.*member = value.toString();
    }
    // After the file's values: secrets still in the file move to the keyring.
    PrefSecrets::load(v);

    setValues(v);
}

bool save()
{
    Values v;
    {
        QMutexLocker lock(&valuesMutex);
        if (current.languageList.isEmpty())
            current.languageList.append(u"en"_s);
        v = current;
    }
    XPrefs::setValue(u"languageList"_s, v.languageList);
    XPrefs::setValue(u"addLanguageExt"_s, v.addLanguageExt);
    XPrefs::setValue(u"AutoFlagNonHash"_s, v.AutoFlagNonHash);
    XPrefs::setValue(u"defaultLanguage"_s, v.defaultLanguage);
    XPrefs::setValue(u"OSAPIServer"_s, v.OSAPIServer);
    // Clearing a field in the window keeps the account stored earlier.
    PrefSecrets::save(v);
    if (!v.OSUsername.isEmpty())
        XPrefs::setValue(u"OSUsername"_s, v.OSUsername);
    XPrefs::setValue(u"refreshSubs"_s, v.refreshSubs);
    XPrefs::setValue(u"autoGetSubs"_s, v.autoGetSubs);
    XPrefs::setValue(u"fixTimingAfterDownload"_s, v.fixTimingAfterDownload);
    XPrefs::setValue(u"AutoRetrySearch"_s, v.AutoRetrySearch);
    XPrefs::setValue(u"autoSearchSubs"_s, v.autoSearchSubs);
    XPrefs::setValue(u"RenameSubs"_s, v.RenameSubs);
    XPrefs::setValue(u"ListAllFiles"_s, v.ListAllFiles);
    XPrefs::setValue(u"ServiceProvider"_s, providerNamed(v.ServiceProvider).isEmpty()
                                               ? QString(kProviderRest)
                                               : providerNamed(v.ServiceProvider));
    XPrefs::setValue(u"RestServer"_s, v.RestServer);
    XPrefs::setValue(u"EmbeddedSubsCount"_s, v.EmbeddedSubsCount);
    XPrefs::setValue(u"HearingImpaired"_s, hearingImpairedOrAny(v.HearingImpaired));
    XPrefs::setValue(u"SkipMachineTranslated"_s, v.SkipMachineTranslated);
    XPrefs::setValue(u"ConvertToUTF8"_s, v.ConvertToUTF8);
    return XPrefs::Save();
}

Values values()
{
    QMutexLocker lock(&valuesMutex);
    return current;
}

void setValues(const Values &v)
{
    QMutexLocker lock(&valuesMutex);
    current = v;
}

void resetToDefaults()
{
    setValues(Values());
}

QStringList languageList()
{
    return get(&Values::languageList);
}
QString defaultLanguage()
{
    return get(&Values::defaultLanguage);
}
bool addLanguageExt()
{
    return get(&Values::addLanguageExt);
}
bool languageInSubtitleNames(const Values &v)
{
    return v.addLanguageExt || v.languageList.size() >= 2;
}
bool languageInSubtitleNames()
{
    return languageInSubtitleNames(values());
}
bool RenameSubs()
{
    return get(&Values::RenameSubs);
}
bool EmbeddedSubsCount()
{
    return get(&Values::EmbeddedSubsCount);
}
QString HearingImpaired()
{
    return get(&Values::HearingImpaired);
}
bool SkipMachineTranslated()
{
    return get(&Values::SkipMachineTranslated);
}
bool ConvertToUTF8()
{
    return get(&Values::ConvertToUTF8);
}
bool refreshSubs()
{
    return get(&Values::refreshSubs);
}
bool autoSearchSubs()
{
    return get(&Values::autoSearchSubs);
}
bool autoGetSubs()
{
    return get(&Values::autoGetSubs);
}
bool AutoRetrySearch()
{
    return get(&Values::AutoRetrySearch);
}
bool ListAllFiles()
{
    return get(&Values::ListAllFiles);
}
bool AutoFlagNonHash()
{
    return get(&Values::AutoFlagNonHash);
}
QString OSAPIServer()
{
    return get(&Values::OSAPIServer);
}
QString OSUsername()
{
    return get(&Values::OSUsername);
}
QString OSPassword()
{
    return get(&Values::OSPassword);
}
QString ServiceProvider()
{
    return get(&Values::ServiceProvider);
}
QString RestApiKey()
{
    return get(&Values::RestApiKey);
}
QString RestServer()
{
    return get(&Values::RestServer);
}
bool AutoQuit()
{
    return get(&Values::AutoQuit);
}

void setLanguageList(const QStringList &codes)
{
    set(&Values::languageList, codes);
}
void setDefaultLanguage(const QString &code)
{
    set(&Values::defaultLanguage, code);
}
void setAddLanguageExt(bool on)
{
    set(&Values::addLanguageExt, on);
}
void setRenameSubs(bool on)
{
    set(&Values::RenameSubs, on);
}
void setRefreshSubs(bool on)
{
    set(&Values::refreshSubs, on);
}
void setAutoSearchSubs(bool on)
{
    set(&Values::autoSearchSubs, on);
}
void setAutoGetSubs(bool on)
{
    set(&Values::autoGetSubs, on);
}
void setAutoRetrySearch(bool on)
{
    set(&Values::AutoRetrySearch, on);
}
void setListAllFiles(bool on)
{
    set(&Values::ListAllFiles, on);
}
void setAutoFlagNonHash(bool on)
{
    set(&Values::AutoFlagNonHash, on);
}
void setOSAPIServer(const QString &url)
{
    set(&Values::OSAPIServer, url);
}
void setOSUsername(const QString &name)
{
    set(&Values::OSUsername, name);
}
void setOSPassword(const QString &password)
{
    set(&Values::OSPassword, password);
}
void setServiceProvider(const QString &provider)
{
    set(&Values::ServiceProvider, provider);
}
void setRestApiKey(const QString &key)
{
    set(&Values::RestApiKey, key);
}
void setRestServer(const QString &url)
{
    set(&Values::RestServer, url);
}
void setAutoQuit(bool on)
{
    set(&Values::AutoQuit, on);
}

} // namespace myPrefs

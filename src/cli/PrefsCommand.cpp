// lumbra-cli prefs [--json] [--set KEY=VALUE ...]
//
// Shows the preference file's path and every preference in effect. --set
// changes values and saves them through myPrefs::save, the same code the
// preferences window uses. The password and the API key are never printed,
// only whether they are set and whether the keyring or the file keeps them.

#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "common/LangModule.h"
#include "prefs/myPrefs.h"
#include "prefs/PrefSecrets.h"
#include "prefs/XPrefs.h"
#include "service/HttpRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace {

enum class Kind { Bool, Text, Server, Language, LanguageList, Provider, RestServer, Key, HearingImpaired };

struct Setting {
    QString key;
    Kind kind;
    bool myPrefs::Values::*flag = nullptr;
    QString myPrefs::Values::*text = nullptr;
};

// Every stored preference, in the order they are shown.
const QList<Setting> &settings()
{
    using V = myPrefs::Values;
    static const QList<Setting> list = {
        {u"languageList"_s, Kind::LanguageList},
        {u"defaultLanguage"_s, Kind::Language, nullptr, &V::defaultLanguage},
        {u"addLanguageExt"_s, Kind::Bool, &V::addLanguageExt},
        {u"RenameSubs"_s, Kind::Bool, &V::RenameSubs},
        {u"refreshSubs"_s, Kind::Bool, &V::refreshSubs},
        {u"autoSearchSubs"_s, Kind::Bool, &V::autoSearchSubs},
        {u"autoGetSubs"_s, Kind::Bool, &V::autoGetSubs},
        {u"fixTimingAfterDownload"_s, Kind::Bool, &V::fixTimingAfterDownload},
        {u"AutoRetrySearch"_s, Kind::Bool, &V::AutoRetrySearch},
        {u"ListAllFiles"_s, Kind::Bool, &V::ListAllFiles},
        {u"AutoFlagNonHash"_s, Kind::Bool, &V::AutoFlagNonHash},
        {u"OSAPIServer"_s, Kind::Server, nullptr, &V::OSAPIServer},
        {u"OSUsername"_s, Kind::Text, nullptr, &V::OSUsername},
        {u"OSPassword"_s, Kind::Text, nullptr, &V::OSPassword},
        {u"ServiceProvider"_s, Kind::Provider, nullptr, &V::ServiceProvider},
        {u"RestApiKey"_s, Kind::Key, nullptr, &V::RestApiKey},
        {u"RestServer"_s, Kind::RestServer, nullptr, &V::RestServer},
        {u"EmbeddedSubsCount"_s, Kind::Bool, &V::EmbeddedSubsCount},
        {u"HearingImpaired"_s, Kind::HearingImpaired, nullptr, &V::HearingImpaired},
        {u"SkipMachineTranslated"_s, Kind::Bool, &V::SkipMachineTranslated},
        {u"ConvertToUTF8"_s, Kind::Bool, &V::ConvertToUTF8},
    };
    return list;
}

const Setting *findSetting(const QString &key)
{
    for (const Setting &s : settings()) {
        if (s.key.compare(key, Qt::CaseInsensitive) == 0)
            return &s;
    }
    return nullptr;
}

// The two-letter code in lower case, or empty when Lumbra does not offer it.
QString knownLanguage(const QString &code)
{
    const QString lower = code.trimmed().toLower();
    return LangModule::langArray().contains(lower) ? lower : QString();
}

// Applies one KEY=VALUE to `v`; returns an error message, or empty on success.
QString apply(myPrefs::Values &v, const QString &assignment)
{
    const qsizetype eq = assignment.indexOf(u'=');
    if (eq <= 0)
        return u"expected KEY=VALUE, got '%1'"_s.arg(assignment);
    const QString key = assignment.left(eq);
    const QString value = assignment.mid(eq + 1);
    const Setting *s = findSetting(key);
    if (!s)
        return u"unknown preference '%1'"_s.arg(key);

    switch (s->kind) {
    case Kind::Bool:
        if (value.compare("true"_L1, Qt::CaseInsensitive) == 0)
            v.*(s->flag) = true;
        else if (value.compare("false"_L1, Qt::CaseInsensitive) == 0)
            v.*(s->flag) = false;
        else
            return u"%1 takes true or false, not '%2'"_s.arg(s->key, value);
        return {};
    case Kind::Text:
        v.*(s->text) = value;
        return {};
    case Kind::Server: {
        const QUrl url(value, QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty() ||
            (url.scheme() != "http"_L1 && url.scheme() != "https"_L1))
            return u"%1 takes an http:// or https:// address, not '%2'"_s.arg(s->key, value);
        v.*(s->text) = value;
        return {};
    }
    case Kind::Provider: {
        const QString provider = myPrefs::providerNamed(value);
        if (provider.isEmpty())
            return u"%1 takes rest or xmlrpc, not '%2'"_s.arg(s->key, value);
        v.*(s->text) = provider;
        return {};
    }
    case Kind::HearingImpaired: {
        const QString wish = myPrefs::hearingImpairedNamed(value);
        if (wish.isEmpty())
            return u"%1 takes any, avoid or only, not '%2'"_s.arg(s->key, value);
        v.*(s->text) = wish;
        return {};
    }
    case Kind::Key:
        v.*(s->text) = value.trimmed();
        return {};
    case Kind::RestServer:
        if (!HttpRules::isSecureEnough(QUrl(value, QUrl::StrictMode)))
            return u"%1 takes an https:// address (http:// only for this computer), not '%2'"_s.arg(s->key,
                                                                                                    value);
        v.*(s->text) = value;
        return {};
    case Kind::Language: {
        const QString code = knownLanguage(value);
        if (code.isEmpty())
            return u"%1 takes a two-letter language code, not '%2'"_s.arg(s->key, value);
        v.*(s->text) = code;
        return {};
    }
    case Kind::LanguageList: {
        const QStringList parts = value.split(u',');
        QStringList codes;
        for (const QString &part : parts) {
            const QString code = knownLanguage(part);
            if (code.isEmpty())
                return u"languageList: '%1' is not a language code Lumbra offers"_s.arg(part.trimmed());
            if (codes.contains(code))
                return u"languageList: '%1' is listed twice"_s.arg(code);
            codes.append(code);
        }
        if (codes.size() > 3)
            return u"languageList takes at most three languages, got %1"_s.arg(codes.size());
        v.languageList = codes;
        return {};
    }
    }
    return {};
}

QString shown(const myPrefs::Values &v, const Setting &s)
{
    switch (s.kind) {
    case Kind::Bool:
        return v.*(s.flag) ? u"true"_s : u"false"_s;
    case Kind::LanguageList:
        return v.languageList.join(u',');
    default:
        if (s.key == "OSPassword"_L1 || s.kind == Kind::Key)
            return (v.*(s.text)).isEmpty() ? u"not set"_s : u"set"_s;
        return v.*(s.text);
    }
}

void print(const myPrefs::Values &v, bool json)
{
    if (!json) {
        printOut(u"file: %1"_s.arg(XPrefs::filePath()));
        for (const Setting &s : settings()) {
            QString line = u"%1: %2"_s.arg(s.key, shown(v, s));
            if (s.flag == &myPrefs::Values::addLanguageExt && !v.addLanguageExt &&
                myPrefs::languageInSubtitleNames(v))
                line += u" (with two or more languages the language code is always added)"_s;
            printOut(line);
        }
        printOut(u"secrets kept in: %1"_s.arg(PrefSecrets::placeName()));
        return;
    }
    QJsonObject prefs;
    for (const Setting &s : settings()) {
        if (s.kind == Kind::Bool)
            prefs.insert(s.key, v.*(s.flag));
        else if (s.kind == Kind::LanguageList)
            prefs.insert(s.key, QJsonArray::fromStringList(v.languageList));
        else
            prefs.insert(s.key, shown(v, s));
    }
    const QJsonObject root{{u"file"_s, XPrefs::filePath()},
                           {u"preferences"_s, prefs},
                           {u"languageInSubtitleNames"_s, myPrefs::languageInSubtitleNames(v)},
                           {u"secretsKeptIn"_s, PrefSecrets::placeName()}};
    printOut(QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented)).trimmed());
}

void printUsage()
{
    printOut(u"Usage: lumbra-cli prefs [--json] [--set KEY=VALUE ...]"_s);
    printOut(u"Shows the preference file and every preference in effect (never the password or the"_s);
    printOut(u"API key); --set KEY=VALUE changes one and saves it, and may be given more than once."_s);
    printOut(u"  --json  one JSON object instead of text"_s);
}

} // namespace

int runPrefs(const QStringList &args)
{
    bool json = false;
    QStringList assignments;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == "--json"_L1) {
            json = true;
        } else if (arg == "--help"_L1 || arg == "-h"_L1) {
            printUsage();
            return ExitOk;
        } else if (arg == "--set"_L1) {
            if (i + 1 >= args.size())
                return usageError(u"prefs"_s, u"--set needs KEY=VALUE"_s);
            assignments.append(args.at(++i));
        } else if (arg.startsWith("--set="_L1)) {
            assignments.append(arg.mid(6));
        } else {
            return usageError(u"prefs"_s, u"unknown argument '%1'"_s.arg(arg));
        }
    }

    myPrefs::Values v = myPrefs::values();
    if (!assignments.isEmpty()) {
        QStringList errors;
        for (const QString &a : assignments) {
            if (const QString error = apply(v, a); !error.isEmpty())
                errors.append(error);
        }
        if (!errors.isEmpty()) {
            for (const QString &e : errors)
                printErr(u"lumbra-cli prefs: "_s + e);
            printErr(u"lumbra-cli prefs: nothing was saved"_s);
            return ExitUsage;
        }
        if (v.OSUsername.isEmpty() || v.OSPassword.isEmpty()) {
            for (const QString &a : assignments) {
                const QString key = a.section(u'=', 0, 0);
                if (a.section(u'=', 1).isEmpty() && findSetting(key) && findSetting(key)->kind == Kind::Text)
                    printErr(u"lumbra-cli prefs: an empty %1 keeps the one saved earlier"_s.arg(
                        findSetting(key)->key));
            }
        }
        myPrefs::setValues(v);
        if (!myPrefs::save()) {
            const QString why = XPrefs::LastErrorText();
            printErr(u"lumbra-cli prefs: "_s +
                     (why.isEmpty() ? u"cannot write %1"_s.arg(XPrefs::filePath()) : why));
            return ExitFailed;
        }
        if (const QString notice = PrefSecrets::takeFileNotice(); !notice.isEmpty())
            printErr(u"lumbra-cli prefs: "_s + notice);
        // Show what the next start will see: an empty account field kept the
        // saved account in the file.
        myPrefs::loadAllPrefs();
        v = myPrefs::values();
    }
    print(v, json);
    return ExitOk;
}

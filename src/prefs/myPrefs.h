#pragma once

#include <QString>
#include <QStringList>

// The application's preference values, with their built-in defaults. Each
// stored value lives in the preference store (XPrefs) under the key of the
// same name. loadAllPrefs reads them once at start-up; the preferences window
// changes them and calls save.
//
// Worker threads read the values while the preferences window may write
// them, so every value is read and written through the accessors below,
// which share one lock. Use values() to read several consistently.
namespace myPrefs {

// Every preference value at one moment.
struct Values {
    QStringList languageList; // two-letter codes, in the order chosen, at most three
    QString defaultLanguage = QStringLiteral("en");
    bool addLanguageExt = true;   // add the language code to a downloaded subtitle's name
    bool RenameSubs = true;       // "Name Subtitle as Movie File"
    bool refreshSubs = false;     // search even for languages that have a local subtitle
    bool autoSearchSubs = false;  // search as soon as files are dropped or opened
    bool autoGetSubs = false;     // download the chosen subtitles after a search
    bool AutoRetrySearch = false; // retry when the service is unavailable
    bool ListAllFiles = false;    // list every dropped file, not only the relevant ones
    bool AutoFlagNonHash = false; // kept and shown; nothing else reads it
    // Measure each new subtitle against the video's speech and fix its timing when sure.
    bool fixTimingAfterDownload = false;
    QString OSAPIServer = QStringLiteral("http://api.opensubtitles.org/xml-rpc");
    QString OSUsername; // empty means anonymous use
    QString OSPassword;
    // Which interface of the service to use: "rest" (the REST API, open to
    // every account) or "xmlrpc" (paying accounts only since 2024).
    QString ServiceProvider = QStringLiteral("rest");
    QString RestApiKey; // the application key the REST API asks for
    QString RestServer = QStringLiteral("https://api.opensubtitles.com/api/v1");
    bool AutoQuit = false; // quit when downloads complete; never stored
    // A text subtitle stream inside the video in a wanted language counts
    // like a subtitle file beside it.
    bool EmbeddedSubsCount = true;
    // Hearing-impaired results in the automatic choice: "any", "avoid"
    // (never while another one exists) or "only".
    QString HearingImpaired = QStringLiteral("any");
    bool SkipMachineTranslated = true; // machine- or AI-translated results are never picked
    bool ConvertToUTF8 = false;        // placed subtitles are re-encoded as UTF-8

    friend bool operator==(const Values &, const Values &) = default;
};

// The default service address (plain HTTP, path /xml-rpc).
QString defaultOSAPIServer();

// The two values of ServiceProvider.
inline constexpr QLatin1StringView kProviderRest{"rest"};
inline constexpr QLatin1StringView kProviderXmlRpc{"xmlrpc"};
// The value for a name in any letter case, or empty when it is neither.
QString providerNamed(const QString &name);

// The three values of HearingImpaired.
inline constexpr QLatin1StringView kHearingAny{"any"};
inline constexpr QLatin1StringView kHearingAvoid{"avoid"};
inline constexpr QLatin1StringView kHearingOnly{"only"};
// The value for a name in any letter case, or empty when it is none of them.
QString hearingImpairedNamed(const QString &name);

// Reads the values from the store; a missing key keeps the default (and the
// default is put into the store, to be written at the next save). Call once
// at start-up, before any window opens or worker runs.
void loadAllPrefs();

// Puts the values into the store and writes the file. An empty user name or
// password leaves the one stored earlier in place. Returns false when the
// file could not be written (XPrefs::LastErrorCode tells why).
bool save();

// The folder holding the preference file: $XDG_CONFIG_HOME/Lumbra2_debug
// (by default ~/.config/Lumbra2_debug), created when missing. Computed once.
QString prefsdir();

// Every value at once, read under the lock.
Values values();
// Replaces every value at once (the preferences window's copy-back).
void setValues(const Values &v);
// Restores the built-in defaults (for tests and first start).
void resetToDefaults();

QStringList languageList();
QString defaultLanguage();
bool addLanguageExt();
// Whether a downloaded subtitle's name carries its language: addLanguageExt,
// and always with two or more languages, whose subtitles of one video would
// otherwise take the same name.
bool languageInSubtitleNames();
bool languageInSubtitleNames(const Values &v);
bool RenameSubs();
bool refreshSubs();
bool autoSearchSubs();
bool autoGetSubs();
bool AutoRetrySearch();
bool ListAllFiles();
bool AutoFlagNonHash();
QString OSAPIServer();
QString OSUsername();
QString OSPassword();
QString ServiceProvider();
QString RestApiKey();
QString RestServer();
bool AutoQuit();
bool EmbeddedSubsCount();
QString HearingImpaired();
bool SkipMachineTranslated();
bool ConvertToUTF8();

void setLanguageList(const QStringList &codes);
void setDefaultLanguage(const QString &code);
void setAddLanguageExt(bool on);
void setRenameSubs(bool on);
void setRefreshSubs(bool on);
void setAutoSearchSubs(bool on);
void setAutoGetSubs(bool on);
void setAutoRetrySearch(bool on);
void setListAllFiles(bool on);
void setAutoFlagNonHash(bool on);
void setOSAPIServer(const QString &url);
void setOSUsername(const QString &name);
void setOSPassword(const QString &password);
void setServiceProvider(const QString &provider);
void setRestApiKey(const QString &key);
void setRestServer(const QString &url);
void setAutoQuit(bool on);

} // namespace myPrefs

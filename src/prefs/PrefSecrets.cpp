#include "prefs/PrefSecrets.h"

#include "prefs/SecretStore.h"
#include "prefs/XPrefs.h"

#include <QLoggingCategory>

#include <atomic>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcSecrets, "lumbra.prefs.secrets")

namespace PrefSecrets {
namespace {

struct Secret {
    QLatin1StringView key;
    QString myPrefs::Values::*member;
    bool emptyKeepsStored;
};

constexpr Secret kSecrets[] = {
    {QLatin1StringView("OSPassword"), &myPrefs::Values::OSPassword, true},
    {QLatin1StringView("RestApiKey"), &myPrefs::Values::RestApiKey, false},
};

std::atomic<Place> g_place{Place::File};
std::atomic<bool> g_noticeDue{false};
std::atomic<bool> g_noticeGiven{false};

QString textInFile(const QString &key)
{
    const Variant stored = XPrefs::Value(key);
    return stored.metaType().id() == QMetaType::QString ? stored.toString() : QString();
}

// Moves one secret the file still holds to the keyring. Returns whether the
// keyring holds it; `fileChanged` is set when the file lost a value.
bool takeIntoKeyring(SecretStore &store, const Secret &secret, myPrefs::Values &v, bool &fileChanged)
{
    const QString key = secret.key;
    const SecretStore::Reply reply = store.read(key);
    if (!reply.answered)
        return false;
    const QString inFile = textInFile(key);
    if (inFile.isEmpty()) {
        // An empty entry is only a placeholder: dropped without rewriting the file for it.
        XPrefs::Remove(key);
        v.*secret.member = reply.value;
        return true;
    }
    // The file's value is the newer one: it was saved while no keyring answered.
    if (!store.write(key, inFile))
        return false;
    XPrefs::Remove(key);
    fileChanged = true;
    v.*secret.member = inFile;
    return true;
}

} // namespace

void load(myPrefs::Values &v)
{
    SecretStore *store = secretStore();
    bool allInKeyring = store != nullptr;
    bool fileChanged = false;
    for (const Secret &secret : kSecrets) {
        if (!store || !takeIntoKeyring(*store, secret, v, fileChanged))
            allInKeyring = false;
    }
    g_place = allInKeyring ? Place::Keyring : Place::File;
    if (fileChanged && !XPrefs::Save())
        qCWarning(lcSecrets).noquote() << "secrets moved to the keyring but still in" << XPrefs::filePath()
                                       << "error" << XPrefs::LastErrorCode();
}

void save(const myPrefs::Values &v)
{
    SecretStore *store = secretStore();
    bool allInKeyring = store != nullptr;
    bool secretInFile = false;
    for (const Secret &secret : kSecrets) {
        const QString key = secret.key;
        // A password may hold spaces at its ends; a key pasted with some may not.
        const QString value = secret.emptyKeepsStored ? v.*secret.member : (v.*secret.member).trimmed();
        if (value.isEmpty() && secret.emptyKeepsStored)
            continue;
        if (store && (value.isEmpty() ? store->remove(key) : store->write(key, value))) {
            XPrefs::Remove(key);
            continue;
        }
        allInKeyring = false;
        XPrefs::setValue(key, value);
        secretInFile = secretInFile || !value.isEmpty();
    }
    g_place = allInKeyring ? Place::Keyring : Place::File;
    // Without any keyring installed there is nobody to tell: the file is all there is.
    if (store && secretInFile)
        g_noticeDue = true;
}

Place place()
{
    return g_place;
}

QString placeName()
{
    return place() == Place::Keyring ? u"keyring"_s : u"file"_s;
}

QString takeFileNotice()
{
    if (!g_noticeDue || g_noticeGiven.exchange(true))
        return {};
    return u"No keyring answered, so the password and API key are stored in the preference file %1, "
           u"readable by you only."_s.arg(XPrefs::filePath());
}

} // namespace PrefSecrets

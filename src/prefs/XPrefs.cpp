#include "prefs/XPrefs.h"

#include "common/AppIdentity.h"
#include "prefs/myPrefs.h"
#include "prefs/PlistCodec.h"

#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcXPrefs, "lumbra.prefs.store")

namespace XPrefs {
namespace {

struct Store {
    QMutex mutex; // guards every member
    bool checked = false;
    Dictionary DictData;
    QString pathOverride;
    bool autoSave = false;
    double saveAlertWait = 2.0;
    std::function<void()> showSaving;
    std::function<void()> closeSaving;
    quint64 snapshots = 0; // counts the snapshots taken for saving
};

Store &store()
{
    static Store s;
    return s;
}

std::atomic<int> lastErrorCode{NoError};

// Serialises writers of the file, so two saves never interleave. Held only
// for the write itself: building the text may show the saving window, which
// runs events, and a window closed meanwhile saves again on the same thread.
QMutex saveMutex;
quint64 writtenSnapshot = 0; // guarded by saveMutex

QString pathLocked(const Store &s)
{
    if (!s.pathOverride.isEmpty())
        return s.pathOverride;
    return myPrefs::prefsdir() + u'/' + AppIdentity::ReverseDomainId + u".plist"_s;
}

void loadLocked(Store &s)
{
    QFile file(pathLocked(s));
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcXPrefs).noquote() << "preference file unreadable, defaults used:" << file.errorString();
        s.DictData.clear();
        return;
    }
    const PlistCodec::Decoded loaded = PlistCodec::decode(file.readAll());
    if (!loaded.ok()) {
        qCWarning(lcXPrefs).noquote() << "preference file unreadable, defaults used:" << loaded.error;
        s.DictData.clear();
        return;
    }
    for (const Dictionary::Entry &e : loaded.values)
        s.DictData.insert(e.key, e.value);
}

// Every public operation starts here: the store is created and loaded on
// first use.
void DictCheck(Store &s)
{
    if (s.checked)
        return;
    s.checked = true;
    s.DictData.clear();
    loadLocked(s);
}

Dictionary snapshot()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    return s.DictData;
}

int codeForErrno(int err, QFileDevice::FileError error)
{
    if (error == QFileDevice::PermissionsError)
        return AccessDenied;
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        return AccessDenied;
    case ENOMEM:
        return NotEnoughMemory;
    case EBUSY:
    case ETXTBSY:
        return FileInUse;
    case ENAMETOOLONG:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case EINVAL:
        return InvalidName;
    default:
        return IOError;
    }
}

// Writes `bytes` to `path` through a temporary file renamed over the old
// one, so a failure at any point leaves the previous file whole.
int writeFile(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    if (info.isDir())
        return InvalidName;
    QDir().mkpath(info.absolutePath());
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        const int err = errno;
        qCWarning(lcXPrefs) << "cannot write preference file" << path << file.errorString();
        return codeForErrno(err, file.error());
    }
    // The file holds the service password: owner only, set before any byte
    // is written (the temporary file may otherwise copy looser permissions).
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0)
        qCWarning(lcXPrefs) << "cannot restrict permissions of" << path;
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const int err = errno;
        qCWarning(lcXPrefs) << "cannot write preference file" << path << file.errorString();
        return codeForErrno(err, file.error());
    }
    return NoError;
}

} // namespace

Variant Value(const QString &key)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    return s.DictData.value(key);
}

void setValue(const QString &key, const Variant &value)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    s.DictData.insert(key, value);
    const bool saveNow = s.autoSave;
    lock.unlock();
    if (saveNow)
        Save();
}

void Remove(const QString &key)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    if (!s.DictData.remove(key))
        return;
    const bool saveNow = s.autoSave;
    lock.unlock();
    if (saveNow)
        Save();
}

bool HasKey(const QString &key)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    return s.DictData.contains(key);
}

QStringList Keys()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    return s.DictData.keys();
}

void Load()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    if (!s.checked) {
        DictCheck(s); // loads
        return;
    }
    loadLocked(s);
}

QDomDocument ConstructXML()
{
    return PlistCodec::document(snapshot());
}

namespace {

// The store's text as it is now, and which snapshot it is (later ones count higher).
QString snapshotText(quint64 *snapshot)
{
    std::function<void()> show;
    std::function<void()> close;
    double wait = 0;
    Dictionary data;
    {
        Store &s = store();
        QMutexLocker lock(&s.mutex);
        DictCheck(s);
        data = s.DictData;
        show = s.showSaving;
        close = s.closeSaving;
        wait = s.saveAlertWait;
        if (snapshot)
            *snapshot = ++s.snapshots;
    }
    QElapsedTimer clock;
    clock.start();
    bool shown = false;
    const auto maybeShow = [&] {
        if (!shown && show && wait >= 0 && double(clock.elapsed()) / 1000.0 >= wait) {
            show();
            shown = true;
        }
    };

    const QDomDocument doc = PlistCodec::document(data);
    maybeShow();
    const QString text = PlistCodec::text(doc);
    maybeShow();
    if (shown && close)
        close();
    return text;
}

} // namespace

QString ToString()
{
    return snapshotText(nullptr);
}

bool Save()
{
    quint64 snapshot = 0;
    const QString text = snapshotText(&snapshot);
    QString path;
    {
        Store &s = store();
        QMutexLocker lock(&s.mutex);
        path = pathLocked(s);
    }
    QMutexLocker saving(&saveMutex);
    // A save that started later has already written newer values.
    if (snapshot < writtenSnapshot)
        return lastErrorCode == NoError;
    writtenSnapshot = snapshot;
    const int code = writeFile(path, text.toUtf8());
    lastErrorCode = code;
    return code == NoError;
}

bool AutoSave()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    return s.autoSave;
}

void setAutoSave(bool on)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    s.autoSave = on;
}

int LastErrorCode()
{
    return lastErrorCode;
}

double SaveAlertWait()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    return s.saveAlertWait;
}

void setSaveAlertWait(double seconds)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    s.saveAlertWait = seconds;
}

void setSavingWindowHooks(std::function<void()> show, std::function<void()> close)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    s.showSaving = std::move(show);
    s.closeSaving = std::move(close);
}

QString filePath()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    return pathLocked(s);
}

void setFilePathForTesting(const QString &path)
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    s.pathOverride = path;
    s.checked = false;
    s.DictData.clear();
}

} // namespace XPrefs

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

#include <QDateTime>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    QString loadProblem;   // why the file could not be used as it was, at the last load
    bool problemTaken = false;
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

// The file is read whole into memory; no preference file of ours comes near
// this, and a larger one is damaged or not ours.
constexpr qint64 MaxFileBytes = qint64(1) << 20;

// What reading the store file found: its bytes, or why it cannot be used.
struct FileRead {
    enum class Outcome { Missing, Read, NotAFile, TooLarge, Unreadable };
    Outcome outcome = Outcome::Missing;
    QByteArray bytes;
    QString why;
};

// Opens only a regular file, and never waits on the open: a FIFO or a device
// at the file's place would otherwise block the program for good.
FileRead readStoreFile(const QString &path)
{
    FileRead read;
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) {
            read.outcome = FileRead::Outcome::Unreadable;
            read.why = QString::fromLocal8Bit(std::strerror(errno));
        }
        return read;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        read.outcome = FileRead::Outcome::NotAFile;
        read.why = u"it is not a regular file"_s;
        return read;
    }
    if (info.st_size > MaxFileBytes) {
        ::close(fd);
        read.outcome = FileRead::Outcome::TooLarge;
        read.why = u"it is larger than %1 KiB"_s.arg(MaxFileBytes / 1024);
        return read;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        read.outcome = FileRead::Outcome::Unreadable;
        read.why = file.errorString();
        return read;
    }
    // Read to a bound: the file may have grown since it was measured.
    read.bytes = file.read(MaxFileBytes + 1);
    if (read.bytes.size() > MaxFileBytes) {
        read.outcome = FileRead::Outcome::TooLarge;
        read.why = u"it is larger than %1 KiB"_s.arg(MaxFileBytes / 1024);
        read.bytes.clear();
        return read;
    }
    read.outcome = FileRead::Outcome::Read;
    return read;
}

// Moves a file that cannot be used out of the way, so the next save does not
// write defaults over what it holds. Returns the new name, or empty.
QString setAside(const QString &path)
{
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    QString aside = path + u".damaged-"_s + stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = path + u".damaged-"_s + stamp + u'-' + QString::number(n);
    return ::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0
               ? aside
               : QString();
}

void noteProblem(Store &s, const QString &text)
{
    qCWarning(lcXPrefs).noquote() << text;
    s.loadProblem = text;
    s.problemTaken = false;
}

void loadLocked(Store &s)
{
    const QString path = pathLocked(s);
    const FileRead read = readStoreFile(path);
    switch (read.outcome) {
    case FileRead::Outcome::Missing:
        return;
    case FileRead::Outcome::NotAFile:
    case FileRead::Outcome::Unreadable:
        // Nothing to keep aside; saving refuses to replace what is there.
        noteProblem(
            s, u"The preference file %1 cannot be read (%2); the defaults are used."_s.arg(path, read.why));
        s.DictData.clear();
        return;
    case FileRead::Outcome::TooLarge:
    case FileRead::Outcome::Read:
        break;
    }
    PlistCodec::Decoded loaded;
    if (read.outcome == FileRead::Outcome::TooLarge)
        loaded.error = read.why;
    else
        loaded = PlistCodec::decode(read.bytes);
    if (!loaded.ok()) {
        const QString aside = setAside(path);
        const QString kept =
            aside.isEmpty() ? u"it could not be set aside"_s : u"it is kept as %1"_s.arg(aside);
        const QString recovered =
            loaded.recovered.isEmpty()
                ? u"the defaults are used"_s
                : u"%1 settings read before the damage are kept"_s.arg(loaded.recovered.count());
        noteProblem(s, u"The preference file %1 is damaged (%2): %3, and %4."_s.arg(path, loaded.error, kept,
                                                                                    recovered));
        s.DictData = loaded.recovered;
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
QString lastErrorText; // guarded by saveMutex

// Why the path cannot take the new file: a link (writing would replace the
// file it points at, wherever that is) or something other than a file.
QString unsafeTarget(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    if (S_ISLNK(info.st_mode))
        return u"it is a symbolic link; Lumbra does not write through links"_s;
    if (S_ISDIR(info.st_mode))
        return u"it is a folder"_s;
    if (!S_ISREG(info.st_mode))
        return u"it is not a regular file"_s;
    return {};
}

// Writes `bytes` to `path` through a temporary file renamed over the old
// one, so a failure at any point leaves the previous file whole.
int writeFile(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    if (const QString why = unsafeTarget(path); !why.isEmpty()) {
        lastErrorText = u"cannot write the preference file %1: %2"_s.arg(path, why);
        qCWarning(lcXPrefs).noquote() << lastErrorText;
        return QFileInfo(path).isDir() && !info.isSymLink() ? InvalidName : AccessDenied;
    }
    errno = 0;
    if (!QDir().mkpath(info.absolutePath())) {
        const int err = errno;
        const QString why = err == EEXIST || err == ENOTDIR
                                ? u"a file stands where the folder (or one above it) belongs"_s
                                : QString::fromLocal8Bit(std::strerror(err ? err : EACCES));
        lastErrorText = u"cannot create the preference folder %1: %2"_s.arg(info.absolutePath(), why);
        qCWarning(lcXPrefs).noquote() << lastErrorText;
        return codeForErrno(err ? err : EACCES, QFileDevice::NoError);
    }
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        const int err = errno;
        lastErrorText = u"cannot write the preference file %1: %2"_s.arg(path, file.errorString());
        qCWarning(lcXPrefs).noquote() << lastErrorText;
        return codeForErrno(err, file.error());
    }
    // The file holds the service password: owner only, set before any byte
    // is written (the temporary file may otherwise copy looser permissions).
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0)
        qCWarning(lcXPrefs) << "cannot restrict permissions of" << path;
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const int err = errno;
        lastErrorText = u"cannot write the preference file %1: %2"_s.arg(path, file.errorString());
        qCWarning(lcXPrefs).noquote() << lastErrorText;
        return codeForErrno(err, file.error());
    }
    lastErrorText.clear();
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

QString LastErrorText()
{
    QMutexLocker saving(&saveMutex);
    return lastErrorText;
}

QString LoadProblem()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    return s.loadProblem;
}

QString TakeLoadProblem()
{
    Store &s = store();
    QMutexLocker lock(&s.mutex);
    DictCheck(s);
    if (s.problemTaken)
        return {};
    s.problemTaken = true;
    return s.loadProblem;
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
    s.loadProblem.clear();
    s.problemTaken = false;
}

} // namespace XPrefs

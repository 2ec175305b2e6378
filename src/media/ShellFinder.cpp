#include "media/ShellFinder.h"

#include "common/RunTogether.h"
#include "media/FileTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcFinder, "lumbra.intake.finder")

struct RawEntry {
    QByteArray path;
    bool isFolder = false;
};

bool isDecodable(const char *name)
{
    const char *c = name;
    while (*c != 0 && static_cast<unsigned char>(*c) < 0x80)
        ++c;
    if (*c == 0)
        return true; // plain ASCII, the common case
    const QByteArray bytes(name);
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

QByteArray childPath(const QByteArray &folder, const char *name)
{
    // Made once per listed entry: sized at once.
    const qsizetype length = qsizetype(qstrlen(name));
    QByteArray path;
    path.reserve(folder.size() + 1 + length);
    path.append(folder);
    if (!path.endsWith('/'))
        path.append('/');
    path.append(name, length);
    return path;
}

// Reads one folder. Every entry accepted by `take` is listed; real folders
// among them go on `pending` to be read in turn. Names that are not valid
// UTF-8 go to `skipped` instead, folders unread.
using StopTest = std::function<bool()>;

template<typename Accept>
void readFolder(const QByteArray &folder, std::vector<RawEntry> &out, std::vector<QByteArray> &pending,
                std::vector<RawEntry> &skipped, const StopTest &stop, Accept take)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir) {
        qCDebug(lcFinder) << "cannot read folder" << QFile::decodeName(folder);
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        if (stop && stop())
            break;
        const char *name = entry->d_name;
        if (qstrcmp(name, ".") == 0 || qstrcmp(name, "..") == 0)
            continue;
        if (!take(name))
            continue;
        QByteArray path = childPath(folder, name);
        bool isFolder = false;
        bool descend = false;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::lstat(path.constData(), &st) == 0)
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_DIR) {
            isFolder = descend = true;
        } else if (type == DT_LNK) {
            // A link to a folder is a folder entry but is not walked into.
            struct stat st {};
            isFolder = ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (!isDecodable(name)) {
            qCWarning(lcFinder).noquote()
                << "skipping a name that is not valid UTF-8:" << ShellFinder::shownName(path);
            skipped.push_back({std::move(path), isFolder});
            continue;
        }
        if (descend)
            pending.push_back(path);
        out.push_back({std::move(path), isFolder});
    }
    ::closedir(dir);
}

// What one walker found.
struct Walked {
    std::vector<RawEntry> out;
    std::vector<RawEntry> skipped;
};

// The folders still to be read, shared by the walkers: a walker takes one,
// reads it and hands over the folders found in it. The walk is over when no
// folder is left and none is being read (nobody can add one any more).
class FolderQueue final {
public:
    explicit FolderQueue(std::vector<QByteArray> folders)
        : m_pending(std::move(folders))
    {
    }

    bool take(QByteArray &folder)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_pending.empty() || m_reading == 0 || m_stopped; });
        if (m_pending.empty() || m_stopped)
            return false;
        folder = std::move(m_pending.back());
        m_pending.pop_back();
        ++m_reading;
        return true;
    }

    void done(std::vector<QByteArray> &found)
    {
        {
            const std::lock_guard lock(m_mutex);
            for (QByteArray &folder : found)
                m_pending.push_back(std::move(folder));
            --m_reading;
        }
        found.clear();
        m_changed.notify_all();
    }

    void stop()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<QByteArray> m_pending;
    int m_reading = 0;
    bool m_stopped = false;
};

void walkFrom(FolderQueue &queue, Walked &walked, const StopTest &stop)
{
    QByteArray folder;
    std::vector<QByteArray> found;
    while (queue.take(folder)) {
        if (stop && stop())
            queue.stop();
        else
            readFolder(folder, walked.out, found, walked.skipped, stop, [](const char *) { return true; });
        queue.done(found);
    }
}

// Reads the folders below, everything below them included. A tree is walked
// alone until there are two folders to read at once, then by as many walkers
// as the machine has cores: the time goes into the system's reading of each
// folder, which the walkers do side by side.
void readBelow(std::vector<QByteArray> pending, std::vector<RawEntry> &out, std::vector<RawEntry> &skipped,
               const StopTest &stop)
{
    while (pending.size() == 1 && !(stop && stop())) {
        const QByteArray folder = std::move(pending.back());
        pending.pop_back();
        readFolder(folder, out, pending, skipped, stop, [](const char *) { return true; });
    }
    if (pending.empty() || (stop && stop()))
        return;
    FolderQueue queue(std::move(pending));
    const int helpers = RunTogether::spareCores();
    std::vector<Walked> walkers(std::size_t(helpers) + 1);
    std::atomic<std::size_t> nextWalker{0};
    RunTogether::run(helpers, [&] { walkFrom(queue, walkers[nextWalker++], stop); });
    for (Walked &walked : walkers) {
        out.insert(out.end(), std::make_move_iterator(walked.out.begin()),
                   std::make_move_iterator(walked.out.end()));
        skipped.insert(skipped.end(), std::make_move_iterator(walked.skipped.begin()),
                       std::make_move_iterator(walked.skipped.end()));
    }
}

// The entries as text, in byte order of their paths. A library's listing is
// sorted and decoded in shares side by side, which are then merged.
QList<FoundEntry> inPathOrder(std::vector<RawEntry> raw)
{
    struct Decoded {
        QByteArray path;
        FoundEntry entry;
    };
    std::vector<Decoded> decoded(raw.size());
    const auto sortAndDecode = [&raw, &decoded](std::size_t from, std::size_t to) {
        std::sort(raw.begin() + qsizetype(from), raw.begin() + qsizetype(to),
                  [](const RawEntry &a, const RawEntry &b) { return a.path < b.path; });
        for (std::size_t i = from; i < to; ++i) {
            decoded[i].entry = {QFile::decodeName(raw[i].path), raw[i].isFolder};
            decoded[i].path = std::move(raw[i].path);
        }
    };
    const auto split = RunTogether::shares(raw.size(), 4096);
    RunTogether::forEachShare(split, sortAndDecode);
    for (std::size_t i = 1; i < split.size(); ++i)
        std::inplace_merge(decoded.begin(), decoded.begin() + qsizetype(split[i].first),
                           decoded.begin() + qsizetype(split[i].second),
                           [](const Decoded &a, const Decoded &b) { return a.path < b.path; });
    QList<FoundEntry> entries;
    entries.reserve(qsizetype(decoded.size()));
    for (Decoded &d : decoded)
        entries.append(std::move(d.entry));
    return entries;
}

// The length of the valid UTF-8 sequence at `at`, or 0.
qsizetype utf8SequenceAt(const QByteArray &bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes.at(i)); };
    const unsigned char lead = byte(at);
    qsizetype length = 0;
    if (lead < 0x80)
        length = 1;
    else if ((lead & 0xE0) == 0xC0)
        length = 2;
    else if ((lead & 0xF0) == 0xE0)
        length = 3;
    else if ((lead & 0xF8) == 0xF0)
        length = 4;
    if (length == 0 || at + length > bytes.size())
        return 0;
    for (qsizetype i = at + 1; i < at + length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    }
    // Overlong forms and surrogates are caught by the decoder's round trip.
    const QByteArray piece = bytes.mid(at, length);
    return QFile::encodeName(QFile::decodeName(piece)) == piece ? length : 0;
}

} // namespace

QString ShellFinder::shownName(const QByteArray &path)
{
    QString shown;
    for (qsizetype at = 0; at < path.size();) {
        const qsizetype length = utf8SequenceAt(path, at);
        if (length == 0) {
            shown += u"\\x%1"_s.arg(uint(static_cast<unsigned char>(path.at(at))), 2, 16, QChar(u'0'));
            ++at;
        } else {
            shown += QFile::decodeName(path.mid(at, length));
            at += length;
        }
    }
    return shown;
}

ShellFinder::ShellFinder(FindCommand command, QStringList *results)
    : m_extensionList(FileTypes::intakeExtensionList())
    , mCommand(std::move(command))
    , mResults(results)
{
}

FindCommand ShellFinder::treeOf(const QString &folder)
{
    return {folder, QString()};
}

FindCommand ShellFinder::siblingsOf(const QString &folder, const QString &namePrefix)
{
    return {folder, namePrefix};
}

QList<FoundEntry> ShellFinder::list(const FindCommand &command, QList<FoundEntry> *skippedNames,
                                    const StopTest &stop)
{
    std::vector<RawEntry> raw;
    std::vector<RawEntry> skipped;
    const QString folder = QDir::cleanPath(QFileInfo(command.folder).absoluteFilePath());
    const QByteArray root = QFile::encodeName(folder);

    struct stat st {};
    if (::stat(root.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (command.namePrefix.isEmpty()) {
            raw.push_back({root, true});
            readBelow({root}, raw, skipped, stop);
        } else {
            const QByteArray prefix = QFile::encodeName(command.namePrefix);
            std::vector<QByteArray> pending;
            readFolder(root, raw, pending, skipped, stop, [&prefix](const char *name) {
                return qstrncmp(name, prefix.constData(), prefix.size()) == 0;
            });
            readBelow(std::move(pending), raw, skipped, stop);
        }
    }

    QList<FoundEntry> entries = inPathOrder(std::move(raw));
    if (skippedNames) {
        const auto byPath = [](const RawEntry &a, const RawEntry &b) { return a.path < b.path; };
        std::sort(skipped.begin(), skipped.end(), byPath);
        skippedNames->clear();
        for (const RawEntry &r : skipped)
            skippedNames->append({shownName(r.path), r.isFolder});
    }
    return entries;
}

ExtensionTest::ExtensionTest(const QString &extensions)
    : m_extensions(extensions)
{
}

bool ExtensionTest::operator()(QStringView dotExtension)
{
    // A handful of distinct extensions: a short list compared in place
    // allocates nothing per name.
    for (const Known &known : std::as_const(m_known)) {
        if (known.dotExtension.compare(dotExtension, Qt::CaseInsensitive) == 0)
            return known.kept;
    }
    const bool kept = m_extensions.contains(dotExtension, Qt::CaseInsensitive);
    if (m_known.size() < kMaxKnown)
        m_known.append({dotExtension.toString(), kept});
    return kept;
}

bool ShellFinder::keepsName(const QString &path, const QString &extensions)
{
    ExtensionTest test(extensions);
    return keepsName(path, test);
}

bool ShellFinder::keepsName(QStringView path, ExtensionTest &extensions)
{
    const QStringView name = path.mid(path.lastIndexOf(u'/') + 1);
    if (name.isEmpty() || name.startsWith(u'.') || name.endsWith(u'.'))
        return false;
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    return extensions(name.mid(dot));
}

void ShellFinder::DoWork()
{
    m_listing = list(mCommand, &m_skipped, m_stop);
    if (!mResults)
        return;
    ExtensionTest wanted(m_extensionList);
    // The walk lists every path once: only what the caller held before can
    // repeat one.
    const QSet<QString> held(mResults->cbegin(), mResults->cend());
    mResults->reserve(mResults->size() + m_listing.size());
    for (const FoundEntry &entry : std::as_const(m_listing)) {
        // A folder named like a video is still a folder.
        if (entry.isFolder || !keepsName(entry.path, wanted) ||
            (!held.isEmpty() && held.contains(entry.path)))
            continue;
        mResults->append(entry.path);
    }
}

QStringList ShellFinder::resultLines() const
{
    QStringList lines;
    lines.reserve(m_listing.size());
    for (const FoundEntry &entry : m_listing)
        lines.append(entry.path);
    return lines;
}

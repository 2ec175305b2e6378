#include "media/subtitleFile.h"

#include "common/LangModule.h"
#include "media/MovieHash.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {
// The two-letter codes a name may carry. A candidate is looked for anywhere
// in this text, so a piece of a code or of the header also passes; the
// language table then gives no code for it.
constexpr auto kTwoLetterCodes =
    "ISO "
    "639-1|ar|bg|ca|cs|da|de|el|en|es|et|eu|fa|fi|fr|gl|he|hi|hr|hu|id|is|it|ja|ka|ko|mk|ms|nl|no|oc|pb|pl|"
    "pt|ro|ru|sk|sl|sq|sr|sv|tr|uk|vi|zh"_L1;
} // namespace

subtitleFile::subtitleFile(const QFileInfo &file)
    : m_path(file.filePath().isEmpty() ? QString() : QDir::toNativeSeparators(file.filePath()))
{
}

subtitleFile::subtitleFile(const QString &path)
    : m_path(path) // native separators are '/' here: a path needs no QFileInfo to become one
{
}

QFileInfo subtitleFile::SubtitleFolderItem() const
{
    const QString p = path();
    return p.isEmpty() ? QFileInfo() : QFileInfo(QDir::fromNativeSeparators(p));
}

void subtitleFile::setSubtitleFolderItem(const QFileInfo &file)
{
    const QMutexLocker lock(&m_mutex);
    m_path = file.filePath().isEmpty() ? QString() : QDir::toNativeSeparators(file.filePath());
}

QString subtitleFile::path() const
{
    const QMutexLocker lock(&m_mutex);
    return m_path;
}

bool subtitleFile::fileUsable() const
{
    // One question to the system for "there and readable".
    const QString p = path();
    return !p.isEmpty() && ::access(QFile::encodeName(p).constData(), R_OK) == 0;
}

QString subtitleFile::subtitleFileName() const
{
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_subtitleFileName.isEmpty())
            return m_subtitleFileName;
    }
    if (!fileUsable())
        return {};
    const QString p = path();
    const QString name = p.mid(p.lastIndexOf(u'/') + 1);
    const QMutexLocker lock(&m_mutex);
    if (m_subtitleFileName.isEmpty())
        m_subtitleFileName = name;
    return m_subtitleFileName;
}

void subtitleFile::setSubtitleFileName(const QString &name)
{
    const QMutexLocker lock(&m_mutex);
    m_subtitleFileName = name;
}

QString subtitleFile::languageInName(QStringView name)
{
    const qsizetype last = name.lastIndexOf(u'.');
    const qsizetype before = last > 0 ? name.lastIndexOf(u'.', last - 1) : -1;
    if (before < 0)
        return {};
    const QStringView candidate = name.sliced(before + 1, last - before - 1);
    if (!kTwoLetterCodes.contains(candidate, Qt::CaseInsensitive))
        return {};
    return LangModule::getLangThree(candidate.toString());
}

QString subtitleFile::languageOfName() const
{
    // A name that was set, else the last part of the path; read outside the
    // lock (the language table may be loaded on first use).
    QString name;
    bool named = false;
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_iso639.isEmpty())
            return m_iso639;
        named = !m_subtitleFileName.isEmpty();
        name = named ? m_subtitleFileName : m_path;
    }
    return languageInName(QStringView(name).sliced(named ? 0 : name.lastIndexOf(u'/') + 1));
}

QString subtitleFile::ISO639() const
{
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_iso639.isEmpty())
            return m_iso639;
    }
    // A name without a code needs no look at the file; a code counts only
    // for a file that is there and can be read.
    const QString code = languageOfName();
    if (code.isEmpty() || subtitleFileName().isEmpty())
        return {};
    const QMutexLocker lock(&m_mutex);
    if (m_iso639.isEmpty())
        m_iso639 = code;
    return m_iso639;
}

void subtitleFile::setISO639(const QString &code)
{
    const QMutexLocker lock(&m_mutex);
    m_iso639 = code;
}

QString subtitleFile::subHash() const
{
    const QMutexLocker lock(&m_mutex);
    return m_subHash;
}

QString subtitleFile::computeSubHash()
{
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_subHash.isEmpty())
            return m_subHash;
    }
    // Hashing reads the whole file: one thread does it while the others wait
    // for its result instead of reading the file again.
    const QMutexLocker hashing(&m_hashing);
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_subHash.isEmpty())
            return m_subHash;
    }
    if (!fileUsable())
        return {};
    const QString hash = XMLRPC::getSubHash(path());
    const QMutexLocker lock(&m_mutex);
    if (m_subHash.isEmpty())
        m_subHash = hash;
    return m_subHash;
}

void subtitleFile::setSubHash(const QString &hash)
{
    const QMutexLocker lock(&m_mutex);
    m_subHash = hash;
}

quint64 subtitleFile::bytesize() const
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_bytesize != 0)
            return m_bytesize;
    }
    if (!fileUsable())
        return 0;
    const quint64 size = quint64(SubtitleFolderItem().size());
    const QMutexLocker lock(&m_mutex);
    if (m_bytesize == 0)
        m_bytesize = size;
    return m_bytesize;
}

void subtitleFile::setBytesize(quint64 size)
{
    const QMutexLocker lock(&m_mutex);
    m_bytesize = size;
}

std::shared_ptr<movieFile> subtitleFile::thisMovie() const
{
    const QMutexLocker lock(&m_mutex);
    if (m_ownedMovie)
        return m_ownedMovie;
    return m_ownerMovie.lock();
}

void subtitleFile::setThisMovie(const std::shared_ptr<movieFile> &movie)
{
    const QMutexLocker lock(&m_mutex);
    m_ownedMovie = movie;
    m_ownerMovie.reset();
}

void subtitleFile::setOwnerMovie(const std::weak_ptr<movieFile> &owner)
{
    const QMutexLocker lock(&m_mutex);
    m_ownedMovie.reset();
    m_ownerMovie = owner;
}

#include "media/movieFile.h"

#include "common/LangModule.h"
#include "media/MovieHash.h"
#include "media/subtitleFile.h"

#include <QDir>
#include <QFile>
#include <QVarLengthArray>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

movieFile::movieFile(Key) {}

movieFile::~movieFile() = default;

std::shared_ptr<movieFile> movieFile::create(const QFileInfo &file)
{
    auto record = std::make_shared<movieFile>(Key());
    record->setFile(file);
    return record;
}

std::shared_ptr<movieFile> movieFile::create(const QString &path)
{
    return create(path.isEmpty() ? QFileInfo() : QFileInfo(QDir::fromNativeSeparators(path)));
}

std::shared_ptr<movieFile> movieFile::create(const QString &path, const QStringList &subtitlePaths,
                                             const QStringList &languages, bool countEmbedded)
{
    auto record = std::make_shared<movieFile>(Key());
    record->setListedFile(path);
    record->listedFolder = FolderIdentity::of(QFileInfo(path).absolutePath());
    record->buildSubtitles(subtitlePaths);
    matchMovieSubs(*record, languages, countEmbedded);
    return record;
}

std::shared_ptr<movieFile> movieFile::create(const movieFile &other, bool takeResults)
{
    auto record = std::make_shared<movieFile>(Key());
    record->copyFrom(other, takeResults);
    return record;
}

std::shared_ptr<movieFile> movieFile::Clone2() const
{
    auto record = create(movieFolderItem());
    record->copyFrom(*this, true);
    return record;
}

void movieFile::setFile(const QFileInfo &file)
{
    if (file.filePath().isEmpty() || !file.exists())
        return;
    auto metadata = std::make_shared<VideoMetadata>(file);
    const QMutexLocker lock(&m_mutex);
    m_path = QDir::toNativeSeparators(file.filePath());
    m_metadata = std::move(metadata);
}

void movieFile::setListedFile(const QString &path)
{
    if (path.isEmpty())
        return;
    const QStringView name = QStringView(path).sliced(path.lastIndexOf(u'/') + 1);
    auto metadata = std::make_shared<VideoMetadata>(VideoMetadata::parsedPartOf(name));
    const QMutexLocker lock(&m_mutex);
    m_path = path;
    m_metadata = std::move(metadata);
}

void movieFile::buildSubtitles(const QStringList &subtitlePaths)
{
    // Called before the record is handed out, but after it is owned by a
    // shared pointer, so the subtitles can point back at it.
    SubtitleList list;
    list.reserve(subtitlePaths.size());
    for (const QString &subPath : subtitlePaths) {
        auto sub = std::make_shared<subtitleFile>(subPath);
        sub->setOwnerMovie(weak_from_this());
        list.append(std::move(sub));
    }
    setSubtitles(list);
}

void movieFile::copyFrom(const movieFile &other, bool takeResults)
{
    // Read the other record through its getters first: they take its lock
    // and may read the disk.
    const quint64 size = other.bytesize();
    const QString name = other.movieFileName();
    const QString shortName = other.movieFileNameShort();
    const QString hash = other.movieHash();
    const QString otherPath = other.path();
    const auto metadata = other.metadata();
    const SubtitleList subs = other.subtitles();
    const QList<Dictionary> imdbList = other.imdbs();
    const ResultList results = takeResults ? other.subtitleResults() : ResultList();
    std::shared_ptr<const VideoStreams> streams;
    bool countEmbedded = false;
    {
        const QMutexLocker lock(&other.m_mutex);
        streams = other.m_streams;
        countEmbedded = other.m_countEmbedded;
    }

    addedToList = other.addedToList;
    hasAllSubs = other.hasAllSubs;
    isChecked = other.isChecked;
    iso639 = other.iso639;
    localSubsMatched = other.localSubsMatched;
    listedFolder = other.listedFolder;
    matchedby = other.matchedby;
    toSearch = other.toSearch;

    const QMutexLocker lock(&m_mutex);
    m_bytesize = size;
    m_movieFileName = name;
    m_movieFileNameShort = shortName;
    m_movieHash = hash;
    m_path = otherPath;
    m_metadata = metadata;
    m_subtitles = subs;
    m_imdbs = imdbList;
    m_subtitleResults = results;
    m_streams = std::move(streams);
    m_countEmbedded = countEmbedded;
    indexImdbsLocked();
}

std::shared_ptr<const VideoStreams> movieFile::streams() const
{
    const QMutexLocker lock(&m_mutex);
    return m_streams;
}

std::shared_ptr<const VideoStreams> movieFile::probeStreams()
{
    const QMutexLocker probing(&m_probing);
    if (auto known = streams())
        return known;
    const QString file = path();
    auto read = std::make_shared<const VideoStreams>(file.isEmpty() ? VideoStreams{{}, 0, 0, u"no file"_s}
                                                                    : StreamProbe::probe(file));
    const QMutexLocker lock(&m_mutex);
    m_streams = read;
    return read;
}

bool movieFile::carriesSubtitleIn(const QString &language) const
{
    const QMutexLocker lock(&m_mutex);
    return m_countEmbedded && m_streams && m_streams->carriesTextSubtitleIn(language);
}

QFileInfo movieFile::movieFolderItem() const
{
    const QString p = path();
    return p.isEmpty() ? QFileInfo() : QFileInfo(QDir::fromNativeSeparators(p));
}

QString movieFile::path() const
{
    const QMutexLocker lock(&m_mutex);
    return m_path;
}

std::shared_ptr<VideoMetadata> movieFile::metadata() const
{
    const QMutexLocker lock(&m_mutex);
    return m_metadata;
}

bool movieFile::fileUsable() const
{
    // One question to the system for "there and readable".
    const QString p = path();
    return !p.isEmpty() && ::access(QFile::encodeName(p).constData(), R_OK) == 0;
}

quint64 movieFile::bytesize() const
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_bytesize != 0)
            return m_bytesize;
    }
    if (!fileUsable())
        return 0;
    const quint64 size = quint64(movieFolderItem().size());
    const QMutexLocker lock(&m_mutex);
    if (m_bytesize == 0)
        m_bytesize = size;
    return m_bytesize;
}

void movieFile::setBytesize(quint64 size)
{
    const QMutexLocker lock(&m_mutex);
    m_bytesize = size;
}

QString movieFile::movieFileName() const
{
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_movieFileName.isEmpty())
            return m_movieFileName;
    }
    if (!fileUsable())
        return {};
    const QString p = path();
    const QString name = p.mid(p.lastIndexOf(u'/') + 1);
    const QMutexLocker lock(&m_mutex);
    if (m_movieFileName.isEmpty())
        m_movieFileName = name;
    return m_movieFileName;
}

void movieFile::setMovieFileName(const QString &name)
{
    const QMutexLocker lock(&m_mutex);
    m_movieFileName = name;
}

QString movieFile::movieFileNameShort() const
{
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_movieFileNameShort.isEmpty())
            return m_movieFileNameShort;
    }
    const QString name = movieFileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return {};
    const QMutexLocker lock(&m_mutex);
    if (m_movieFileNameShort.isEmpty())
        m_movieFileNameShort = name.left(dot);
    return m_movieFileNameShort;
}

void movieFile::setMovieFileNameShort(const QString &name)
{
    const QMutexLocker lock(&m_mutex);
    m_movieFileNameShort = name;
}

QString movieFile::movieHash() const
{
    const QMutexLocker lock(&m_mutex);
    return m_movieHash;
}

QString movieFile::computeMovieHash()
{
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_movieHash.isEmpty())
            return m_movieHash;
    }
    // One thread reads the file while the others wait for its result.
    const QMutexLocker hashing(&m_hashing);
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_movieHash.isEmpty())
            return m_movieHash;
    }
    if (!fileUsable())
        return {};
    const QString hash = XMLRPC::getMoviehash(path());
    const QMutexLocker lock(&m_mutex);
    if (m_movieHash.isEmpty())
        m_movieHash = hash;
    return m_movieHash;
}

void movieFile::setMovieHash(const QString &hash)
{
    const QMutexLocker lock(&m_mutex);
    m_movieHash = hash;
    m_hashed = true;
}

bool movieFile::isHashed() const
{
    const QMutexLocker lock(&m_mutex);
    return m_hashed;
}

movieFile::SubtitleList movieFile::subtitles() const
{
    const QMutexLocker lock(&m_mutex);
    return m_subtitles;
}

void movieFile::setSubtitles(const SubtitleList &list)
{
    const QMutexLocker lock(&m_mutex);
    m_subtitles = list;
}

movieFile::ResultList movieFile::subtitleResults() const
{
    const QMutexLocker lock(&m_mutex);
    return m_subtitleResults;
}

void movieFile::setSubtitleResults(const ResultList &list)
{
    const QMutexLocker lock(&m_mutex);
    m_subtitleResults = list;
}

void movieFile::addSubtitleResult(const std::shared_ptr<openSubtitleItem> &result)
{
    const QMutexLocker lock(&m_mutex);
    m_subtitleResults.append(result);
}

QList<Dictionary> movieFile::imdbs() const
{
    const QMutexLocker lock(&m_mutex);
    return m_imdbs;
}

void movieFile::setImdbs(const QList<Dictionary> &list)
{
    const QMutexLocker lock(&m_mutex);
    m_imdbs = list;
    indexImdbsLocked();
}

namespace {
qlonglong imdbIdOf(const Dictionary &entry)
{
    return entry.value(u"movieImdbID"_s).toString().trimmed().toLongLong();
}
} // namespace

bool movieFile::addImdb(const Dictionary &entry)
{
    const QMutexLocker lock(&m_mutex);
    const qlonglong id = imdbIdOf(entry);
    if (m_imdbIds.contains(id))
        return false;
    m_imdbIds.insert(id);
    m_imdbs.append(entry);
    return true;
}

void movieFile::indexImdbsLocked()
{
    m_imdbIds.clear();
    for (const Dictionary &entry : std::as_const(m_imdbs))
        m_imdbIds.insert(imdbIdOf(entry));
}

void movieFile::matchMovieSubs(movieFile &m, const QStringList &languages, bool countEmbedded)
{
    if (m.localSubsMatched)
        return;
    // Three-letter codes (in any case), each with whether a local subtitle
    // has it.
    QVarLengthArray<std::pair<QString, bool>, 4> wanted;
    for (const QString &lang : languages)
        wanted.append({LangModule::getLangThree(lang), false});
    for (const auto &sub : m.subtitles()) {
        // The name tells whether the subtitle could count; only then is its
        // file looked at (a code counts for a file that can be read).
        const QString named = sub->languageOfName();
        const auto isNamed = [&](const auto &entry) {
            return entry.first.compare(named, Qt::CaseInsensitive) == 0;
        };
        if (named.isEmpty() || std::none_of(wanted.cbegin(), wanted.cend(), isNamed))
            continue;
        const QString code = sub->ISO639();
        for (auto &entry : wanted) {
            if (!code.isEmpty() && entry.first.compare(code, Qt::CaseInsensitive) == 0)
                entry.second = true;
        }
    }
    const auto covered = [](const auto &entry) { return entry.second; };
    // The header is read only for a video that still lacks a language: a
    // library whose videos have their subtitles beside them opens none.
    if (countEmbedded && !std::all_of(wanted.cbegin(), wanted.cend(), covered)) {
        const auto streams = m.probeStreams();
        {
            const QMutexLocker lock(&m.m_mutex);
            m.m_countEmbedded = true;
        }
        for (auto &entry : wanted)
            entry.second = entry.second || streams->carriesTextSubtitleIn(entry.first);
    }
    m.hasAllSubs = std::all_of(wanted.cbegin(), wanted.cend(), covered);
    m.localSubsMatched = true;
}

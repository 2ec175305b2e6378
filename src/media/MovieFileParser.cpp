#include "media/MovieFileParser.h"

#include "common/ThreadPoolManager.h"
#include "media/FileNames.h"
#include "media/FileTypes.h"
#include "media/IntakeTarget.h"
#include "media/ShellFinder.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSet>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcIntake, "lumbra.intake")
} // namespace

MovieFileParser::MovieFileParser(const QString &seed, std::shared_ptr<IntakeTarget> window, Mode mode)
    : mFile(seed)
    , mWindow(std::move(window))
    , m_mode(mode)
    , m_fileExtensions(mode == Mode::GetSubs ? FileTypes::MovieTypes.extensions
                                             : FileTypes::SubTypes.extensions)
{
    // Counted from creation, not from the start of the work: a window must not
    // think its intake is over while this item still waits for a worker.
    if (mWindow)
        mWindow->intakeItemAdded();
}

MovieFileParser::~MovieFileParser()
{
    if (mWindow)
        mWindow->intakeItemRemoved();
}

bool MovieFileParser::Queue(const QString &seed, const std::shared_ptr<IntakeTarget> &window, Mode mode)
{
    const QFileInfo info(seed);
    if (seed.isEmpty() || !window || !info.exists() || !info.isReadable())
        return false;
    ThreadPoolManager::Queue(std::make_unique<MovieFileParser>(seed, window, mode));
    return true;
}

QString MovieFileParser::ParseMode() const
{
    return m_mode == Mode::GetSubs ? u"getsubs"_s : u"putsubs"_s;
}

void MovieFileParser::DoWork()
{
    if (!mWindow || mWindow->intakeCancelled())
        return;
    const QString extensionList = mWindow->extensionList();
    const bool found = QFileInfo::exists(mFile) && handleSeedFile(mFile);
    if (!m_unreadableNames.isEmpty())
        mWindow->notTakenIn(m_unreadableNames, unreadableNameReason());
    if (!found)
        return;

    ExtensionTest listed(extensionList);
    QStringList batch;
    for (const QString &path : std::as_const(m_foundFiles)) {
        const qsizetype dot = path.lastIndexOf(u'.');
        if (dot >= 0 && listed(QStringView(path).mid(dot)))
            batch.append(path);
    }
    m_foundFiles.clear();
    if (!batch.isEmpty() && !mWindow->intakeCancelled())
        mWindow->processFiles(batch);
}

bool MovieFileParser::handleSeedFile(const QString &seed)
{
    const QFileInfo info(seed);
    if (seed.isEmpty() || !info.exists() || !info.isReadable())
        return false;

    FindCommand command;
    if (info.isDir()) {
        const QString folder = QDir::cleanPath(info.absoluteFilePath());
        if (!mWindow || !mWindow->claimFolder(folder)) {
            qCDebug(lcIntake) << "folder already seeded in this window:" << folder;
            return false;
        }
        command = ShellFinder::treeOf(folder);
    } else {
        const FileType own{QString(), m_fileExtensions, QString(), QString()};
        if (!own.hasExtension(u'.' + Extension(info)))
            return false;
        command = ShellFinder::siblingsOf(QDir::cleanPath(info.absolutePath()), siblingPrefix(info));
    }

    // The finder keeps every video and subtitle file of the listing in
    // foundFiles before the mode's own filter below runs, so that a video and
    // the subtitles beside it (or a subtitle and its video) travel together.
    ShellFinder finder(command, &m_foundFiles);
    if (mWindow)
        finder.setStop([window = mWindow.get()] { return window->intakeCancelled(); });
    finder.DoWork();
    // The videos (or subtitles) and folders whose names we cannot open.
    ExtensionTest ownType(m_fileExtensions);
    for (const FoundEntry &entry : finder.skippedNames()) {
        if (entry.isFolder || ShellFinder::keepsName(entry.path, ownType))
            m_unreadableNames.append(entry.path);
    }

    // Files of the mode's own type that the finder's list did not keep. Its
    // list holds both types, so this is normally none (and when it holds the
    // whole of the own list, none at all).
    if (!finder.extensionList().contains(m_fileExtensions, Qt::CaseInsensitive))
        addOwnTypeBeyond(finder, ownType);
    if (!info.isDir())
        keepCompanionsOf(info);
    return !m_foundFiles.isEmpty();
}

void MovieFileParser::addOwnTypeBeyond(const ShellFinder &finder, ExtensionTest &ownType)
{
    ExtensionTest finderType(finder.extensionList());
    std::optional<QSet<QString>> held;
    for (const FoundEntry &entry : finder.listing()) {
        if (entry.isFolder || !ShellFinder::keepsName(entry.path, ownType) ||
            ShellFinder::keepsName(entry.path, finderType))
            continue;
        if (!held)
            held.emplace(m_foundFiles.cbegin(), m_foundFiles.cend());
        if (held->contains(entry.path))
            continue;
        held->insert(entry.path);
        m_foundFiles.append(entry.path);
    }
}

QString MovieFileParser::unreadableNameReason()
{
    return u"its name is not valid UTF-8, which Lumbra cannot open; rename it to take it in"_s;
}

QString MovieFileParser::siblingPrefix(const QFileInfo &seed) const
{
    // A subtitle named like Movie.en.srt belongs to Movie.avi: list from the
    // name without its language code, so that the video comes along.
    const QString oneOff = shortname(seed);
    if (m_mode == Mode::PutSubs) {
        const QString twoOff = shortname(oneOff);
        if (!twoOff.isEmpty() && twoOff != oneOff)
            return twoOff + u'.';
    }
    return oneOff + u'.';
}

void MovieFileParser::keepCompanionsOf(const QFileInfo &seed)
{
    const QString oneOff = shortname(seed);
    const QString twoOff = shortname(oneOff);
    if (m_mode != Mode::PutSubs || twoOff.isEmpty() || twoOff == oneOff)
        return;
    // The wider listing of a subtitle seed keeps what its own short name
    // brings in (its subtitles and videos) and, beside it, the videos its
    // name pairs with: the name without the extension, or without the
    // language code and the extension, as the client pairs them.
    const QString folder = QDir::cleanPath(seed.absolutePath()) + u'/';
    const QString ownPrefix = folder + oneOff + u'.';
    m_foundFiles.removeIf([&](const QString &path) {
        if (path.startsWith(ownPrefix))
            return false;
        const QString name = path.mid(folder.size());
        if (name.contains(u'/') || !FileTypes::MovieTypes.hasExtension(u'.' + Extension(name)))
            return true;
        const QString base = shortname(name);
        return base.compare(oneOff, Qt::CaseInsensitive) != 0 &&
               base.compare(twoOff, Qt::CaseInsensitive) != 0;
    });
}

#include "preview/PlayerDetection.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace {

// The bundled player's folder, or an empty text.
QString bundledPlayerFolder(const QString &appDir)
{
    if (appDir.isEmpty())
        return {};
    const QDir dir(appDir);
    const QStringList entries = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &name : entries) {
        if (name.compare("Helper_Apps"_L1, Qt::CaseInsensitive) != 0)
            continue;
        const QFileInfo folder(dir.filePath(name + "/mplayer2"_L1));
        if (folder.isDir())
            return folder.absoluteFilePath();
    }
    return {};
}

} // namespace

PlayerInfo findPlayer(const QString &appDir)
{
    const QString folder = bundledPlayerFolder(appDir);
    if (!folder.isEmpty()) {
        const QFileInfo exe(folder + "/mplayer2"_L1);
        if (exe.isFile() && exe.isExecutable())
            return {exe.absoluteFilePath(), PlayerDialect::MPlayer2};
    }
    const QString mplayer2 = QStandardPaths::findExecutable(u"mplayer2"_s);
    if (!mplayer2.isEmpty())
        return {mplayer2, PlayerDialect::MPlayer2};
    const QString mplayer = QStandardPaths::findExecutable(u"mplayer"_s);
    if (!mplayer.isEmpty())
        return {mplayer, PlayerDialect::MPlayer};
    return {};
}

bool hasBundledPlayer(const QString &appDir)
{
    return !bundledPlayerFolder(appDir).isEmpty();
}

bool hasSystemPlayer()
{
    return !QStandardPaths::findExecutable(u"mplayer2"_s).isEmpty() ||
           !QStandardPaths::findExecutable(u"mplayer"_s).isEmpty();
}

#include "controls/ResourcePaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMutex>
#include <QMutexLocker>

using namespace Qt::Literals::StringLiterals;

namespace ResourcePaths {

namespace {

QMutex g_lock;
QString g_override;

bool holdsResources(const QString &folder)
{
    return QFileInfo(folder + u"/Images"_s).isDir();
}

QString foundRoot()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (holdsResources(exeDir))
        return exeDir;
    const QString installed = QDir::cleanPath(exeDir + u"/../share/lumbra"_s);
    if (holdsResources(installed))
        return installed;
#ifdef LUMBRA_BUILD_RESOURCES
    const QString built = QStringLiteral(LUMBRA_BUILD_RESOURCES);
    if (holdsResources(built))
        return built;
#endif
    // Nothing shipped anywhere: pictures are then simply not found and nothing is drawn.
    return exeDir;
}

} // namespace

QString rsrcsF()
{
    QMutexLocker locker(&g_lock);
    if (!g_override.isEmpty())
        return g_override;
    static const QString root = foundRoot();
    return root;
}

QString fontsF()
{
    return rsrcsF();
}

QString appF()
{
    return QCoreApplication::applicationDirPath();
}

void setResourceRoot(const QString &folder)
{
    QMutexLocker locker(&g_lock);
    g_override = folder;
}

QString subtitleFontPath()
{
    return fontsF() + u"/Fonts/SourceSansPro/SourceSansPro-Regular.ttf"_s;
}

bool registerBundledFonts()
{
    const QString awesome = fontsF() + u"/Fonts/FontAwesome/fontawesome-webfont.ttf"_s;
    return QFontDatabase::addApplicationFont(awesome) >= 0;
}

} // namespace ResourcePaths

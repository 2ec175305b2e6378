#include "controls/LangFlags.h"

#include "common/LangModule.h"
#include "controls/Theme.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

using namespace Qt::Literals::StringLiterals;

namespace LangModule {

namespace {

QMutex g_flagLock;

// The two-letter code a flag is filed under, or an empty text.
QString flagCode(const QString &code)
{
    QString two = code.size() == 3 ? getLangTwo(code) : code;
    return two.size() == 2 ? two.toLower() : QString();
}

QImage cachedFlag(QHash<QString, QImage> &cache, const QString &code, const QString &folder, int attempts)
{
    const QString two = flagCode(code);
    if (two.isEmpty())
        return {};
    {
        QMutexLocker locker(&g_flagLock);
        const auto hit = cache.constFind(two);
        if (hit != cache.constEnd())
            return hit.value();
    }
    QImage flag;
    for (int i = 0; i < attempts && flag.isNull(); ++i)
        flag = Theme::getPic(two, folder);
    if (flag.isNull())
        return {};
    QMutexLocker locker(&g_flagLock);
    cache.insert(two, flag);
    return flag;
}

} // namespace

QImage getFlagPic(const QString &code)
{
    static QHash<QString, QImage> flagDict;
    return cachedFlag(flagDict, code, u"FlagsSmall"_s, 2);
}

QImage getLargeFlagPic(const QString &code)
{
    static QHash<QString, QImage> flagSq;
    return cachedFlag(flagSq, code, u"Flags"_s, 1);
}

} // namespace LangModule

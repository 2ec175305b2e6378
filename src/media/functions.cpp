#include "media/functions.h"

#include "common/AppIdentity.h"

#include <QDir>
#include <QLoggingCategory>
#include <QTemporaryDir>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcFunctions, "lumbra.media.functions")

QString ZeroPad(qint64 value, int width)
{
    return ZeroPad(QString::number(value), width);
}

QString ZeroPad(const QString &text, int width)
{
    if (text.size() >= width)
        return text;
    return QString(width - text.size(), u'0') + text;
}

QString getTempDir()
{
    QTemporaryDir dir(QDir::tempPath() + u'/' + AppIdentity::ReverseDomainId + u".XXXXXX"_s);
    if (!dir.isValid()) {
        qCWarning(lcFunctions) << "cannot make a temporary folder:" << dir.errorString();
        return {};
    }
    dir.setAutoRemove(false);
    return QDir::toNativeSeparators(dir.path());
}

QString AppName()
{
    return AppIdentity::AppName;
}

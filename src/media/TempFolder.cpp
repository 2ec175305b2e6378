#include "media/TempFolder.h"

#include "common/AppIdentity.h"

#include <QDir>
#include <QLoggingCategory>
#include <QTemporaryDir>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcTempFolder, "lumbra.media.tempfolder")

QString getTempDir()
{
    QTemporaryDir dir(QDir::tempPath() + u'/' + AppIdentity::ReverseDomainId + u".XXXXXX"_s);
    if (!dir.isValid()) {
        qCWarning(lcTempFolder) << "cannot make a temporary folder:" << dir.errorString();
        return {};
    }
    dir.setAutoRemove(false);
    return QDir::toNativeSeparators(dir.path());
}

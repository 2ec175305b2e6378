#include "common/FolderIdentity.h"

#include <QFile>

#include <sys/stat.h>

FolderIdentity FolderIdentity::of(const QString &path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return {};
    return {quint64(info.st_dev), quint64(info.st_ino), true};
}

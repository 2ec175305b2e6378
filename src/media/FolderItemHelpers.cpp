#include "media/FolderItemHelpers.h"

#include "common/DesktopHooks.h"

using namespace Qt::Literals::StringLiterals;

QString extension(const QString &text)
{
    const qsizetype dot = text.lastIndexOf(u'.');
    return dot < 0 ? text : text.mid(dot + 1);
}

QString shortname(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QString shortname(const QFileInfo &file)
{
    return shortname(file.fileName());
}

QString Extension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return {};
    if (dot == 0) // a hidden name with no other dot
        return {};
    const QString ext = name.mid(dot + 1);
    if (ext.contains(u' '))
        return {};
    return ext;
}

QString Extension(const QFileInfo &file)
{
    return Extension(file.fileName());
}

QString NameNoExtension(const QString &name)
{
    const QString ext = Extension(name);
    if (ext.isEmpty())
        return name;
    return name.left(name.size() - ext.size() - 1);
}

QString NameNoExtension(const QFileInfo &file)
{
    return NameNoExtension(file.fileName());
}

void RevealDT(const QFileInfo &file)
{
    if (file.exists())
        desktopHooks().revealFile(file.absoluteFilePath());
}

QString OSXVersion()
{
    static const QString version = desktopHooks().osVersion();
    return version;
}

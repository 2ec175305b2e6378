#include "media/FileNames.h"

namespace {

enum class DotRule { LastDot, Strict };

// Where the name's extension starts (the index of its dot), or -1.
qsizetype extensionDot(const QString &name, DotRule rule)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (rule == DotRule::Strict && (dot == 0 || dot == name.size() - 1 || name.indexOf(u' ', dot) >= 0))
        return -1;
    return dot;
}

QString withoutExtension(const QString &name, DotRule rule)
{
    const qsizetype dot = extensionDot(name, rule);
    return dot < 0 ? name : name.left(dot);
}

} // namespace

QString extension(const QString &text)
{
    // Without a dot, mid(0) is the whole text.
    return text.mid(extensionDot(text, DotRule::LastDot) + 1);
}

QString shortname(const QString &name)
{
    return withoutExtension(name, DotRule::LastDot);
}

QString shortname(const QFileInfo &file)
{
    return shortname(file.fileName());
}

QString Extension(const QString &name)
{
    const qsizetype dot = extensionDot(name, DotRule::Strict);
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString Extension(const QFileInfo &file)
{
    return Extension(file.fileName());
}

QString NameNoExtension(const QString &name)
{
    return withoutExtension(name, DotRule::Strict);
}

QString NameNoExtension(const QFileInfo &file)
{
    return NameNoExtension(file.fileName());
}

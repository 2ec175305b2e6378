#pragma once

#include <QFileInfo>
#include <QString>

// Pieces of file names, worked out from the text alone (nothing here touches
// the disk). Two rules find the dot that starts an extension: the plain one
// takes the name's last dot (`extension`, `shortname`); the strict one
// (`Extension`, `NameNoExtension`) does not count a hidden name's only dot
// (".bashrc"), a dot at the end, or a last part that holds a space.

// The last "."-separated field of the text; the whole text when it has no ".".
QString extension(const QString &text);

// The name without its last "." and what follows, when it has a "."; otherwise
// the name unchanged. The text form works on the text as given.
QString shortname(const QString &name);
QString shortname(const QFileInfo &file);

// The text after the extension's dot of the file's name by the strict rule;
// empty when there is none.
QString Extension(const QFileInfo &file);
QString Extension(const QString &name);

// The name without "." and its Extension when there is one; otherwise the name.
QString NameNoExtension(const QFileInfo &file);
QString NameNoExtension(const QString &name);

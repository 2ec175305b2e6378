#pragma once

#include <QFileInfo>
#include <QString>

// Pieces of file names. All of them work on the text alone; none touches the disk
// except RevealDT.

// The last "."-separated field of the text; the whole text when it has no ".".
QString extension(const QString &text);

// The name without its last "." and what follows, when it has a "."; otherwise
// the name unchanged. The text form works on the text as given.
QString shortname(const QString &name);
QString shortname(const QFileInfo &file);

// The text after the last "." of the file's name; empty when the name has no
// ".", when it is a hidden name with no other dot (".bashrc"), or when that last
// part holds a space.
QString Extension(const QFileInfo &file);
QString Extension(const QString &name);

// The name without "." and its Extension when there is one; otherwise the name.
QString NameNoExtension(const QFileInfo &file);
QString NameNoExtension(const QString &name);

// Shows the file selected in the file manager, through the desktop hooks.
// Does nothing when the file does not exist.
void RevealDT(const QFileInfo &file);

// The operating system's version, asked of the desktop hooks once and cached.
QString OSXVersion();

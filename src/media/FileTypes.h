#pragma once

#include <QString>
#include <QStringList>

// One named kind of file: extensions with their leading dot, separated by ";".
struct FileType {
    QString name;
    QString extensions;
    QString typeCode;
    QString creatorCode;

    // The extensions as a list.
    QStringList entries() const;
    // True if `dotExtension` (".avi") is one of the entries, ignoring case.
    bool hasExtension(const QString &dotExtension) const;
    bool hasExtension(QStringView dotExtension) const;
};

// The file kinds the application knows. Only MovieTypes and SubTypes decide
// anything; the others are kept for completeness.
namespace FileTypes {
extern const FileType MovieTypes;
extern const FileType SubTypes;
extern const FileType JustSubTypes;
extern const FileType ITunesMovies;
extern const FileType ConvertableMovies;
extern const FileType Any;
extern const FileType folders;

// The video extensions, ";", then the subtitle extensions: what the intake keeps.
QString intakeExtensionList();
} // namespace FileTypes

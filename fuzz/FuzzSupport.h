#pragma once

#include "media/movieFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// What every fuzz target shares: a Qt application object, a private
// temporary folder, and the input as Qt bytes.
namespace fuzz {

inline void startQt()
{
    static int argc = 1;
    static char name[] = "lumbra-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = new QCoreApplication(argc, argv);
    (void)app;
}

inline const QTemporaryDir &tempDir()
{
    static QTemporaryDir *dir = new QTemporaryDir;
    return *dir;
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Writes `content` to a file of the temporary folder; returns its path.
inline QString writeFile(const QString &name, const QByteArray &content)
{
    const QString path = tempDir().filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        std::abort();
    return path;
}

// A video record of a real (small) file of the temporary folder, with the
// given hash, for the searches and merges to match results against.
inline std::shared_ptr<movieFile> video(const QString &name, const QString &hash)
{
    auto record = movieFile::create(writeFile(name, QByteArray(70000, 'v')));
    record->setMovieHash(hash);
    return record;
}

// A finding that is not a crash: stops the run the way a crash does.
[[noreturn]] inline void finding(const char *what)
{
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

} // namespace fuzz

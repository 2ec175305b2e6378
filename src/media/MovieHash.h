#pragma once

#include <QString>

// The two digests that identify local files to the subtitle service. Both are
// stateless and safe on any thread.
namespace XMLRPC {

// What hashing one video file found out.
struct MovieHashResult {
    QString hash;      // 16 lowercase hex digits; empty when the file is shorter than 64 KiB
    qint64 size = -1;  // the file's length in bytes, -1 when it could not be read
    int errorCode = 0; // errno of the failure, 0 on success
    QString error;     // why the file could not be read, naming it; empty on success

    bool ok() const { return errorCode == 0; }
};

// The movie hash with everything learned on the way, reporting nothing.
MovieHashResult computeMovieHash(const QString &path);

// The movie hash: the file size plus the little-endian 64-bit words of the
// first and last 64 KiB, modulo 2^64, as 16 zero-padded lowercase hex digits.
// Empty text for an empty path, a missing file or a file below 65,536 bytes.
// A file that exists but cannot be read is reported through
// desktopHooks().showError() and gives empty text too.
QString getMoviehash(const QString &path);

// The MD5 digest of the whole file as 32 lowercase hex digits. Empty text for
// an empty path or a missing file; "Error", after a report through
// desktopHooks().showError(), for a file that exists but cannot be read.
QString getSubHash(const QString &path);

} // namespace XMLRPC

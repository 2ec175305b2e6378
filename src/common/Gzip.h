#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// gzip (RFC 1952) in memory, for service replies and downloaded subtitles.
namespace Gzip {

// True when the data starts with the gzip magic bytes 1f 8b.
bool hasMagic(const QByteArray &data);

// Unpacks a gzip stream, concatenated members included. Fails, with a reason
// in `error`, on data that is not gzip, a broken or truncated stream, or
// content that would grow beyond `maxSize` bytes (a bomb never fills memory).
std::optional<QByteArray> gunzip(const QByteArray &data, qsizetype maxSize, QString *error = nullptr);

// Packs data as one gzip member.
QByteArray gzip(const QByteArray &data);

} // namespace Gzip

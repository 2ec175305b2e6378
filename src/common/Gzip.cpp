#include "common/Gzip.h"

#include <zlib.h>

using namespace Qt::Literals::StringLiterals;

namespace Gzip {

namespace {
constexpr int kGzipWindowBits = 16 + MAX_WBITS;

std::optional<QByteArray> fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return std::nullopt;
}
} // namespace

bool hasMagic(const QByteArray &data)
{
    return data.size() >= 2 && uchar(data[0]) == 0x1f && uchar(data[1]) == 0x8b;
}

std::optional<QByteArray> gunzip(const QByteArray &data, qsizetype maxSize, QString *error)
{
    if (!hasMagic(data))
        return fail(error, u"not a gzip stream"_s);

    z_stream zs{};
    if (inflateInit2(&zs, kGzipWindowBits) != Z_OK)
        return fail(error, u"cannot start the gzip reader"_s);

    QByteArray out;
    char block[16384];
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    int rc = Z_OK;
    while (true) {
        zs.next_out = reinterpret_cast<Bytef *>(block);
        zs.avail_out = sizeof block;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
        const qsizetype produced = qsizetype(sizeof block - zs.avail_out);
        if (out.size() + produced > maxSize) {
            inflateEnd(&zs);
            return fail(error, u"unpacked content exceeds %1 bytes"_s.arg(maxSize));
        }
        out.append(block, produced);
        if (rc == Z_STREAM_END) {
            // Another member may follow; anything else after the end is junk
            // we tolerate, as gzip(1) does with trailing zeros.
            if (zs.avail_in >= 2 && zs.next_in[0] == 0x1f && zs.next_in[1] == 0x8b) {
                inflateReset(&zs);
                continue;
            }
            break;
        }
        if (zs.avail_in == 0 && produced == 0)
            break; // the input ended before the stream did
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return fail(error,
                    rc == Z_OK || rc == Z_BUF_ERROR ? u"truncated gzip stream"_s : u"broken gzip stream"_s);
    return out;
}

QByteArray gzip(const QByteArray &data)
{
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&zs, uLong(data.size()))) + 32, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return out;
}

} // namespace Gzip

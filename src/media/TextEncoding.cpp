#include "media/TextEncoding.h"

#include <QStringDecoder>
#include <QSysInfo>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr bool hostIsBigEndian = QSysInfo::ByteOrder == QSysInfo::BigEndian;

// Zero bytes at even and odd offsets tell UTF-16 without a byte-order mark
// apart: mostly-Latin text has a zero in every other byte. Returns 0 when the
// bytes do not look like UTF-16, 1 for big-endian, 2 for little-endian.
int zeroSpread(const QByteArray &bytes)
{
    qsizetype z0 = 0;
    qsizetype z1 = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\0')
            ++((i % 2 == 0) ? z0 : z1);
    }
    const qsizetype halfLast = (bytes.size() - 1) / 2;
    if (2 * z1 < z0 && halfLast < z0)
        return 1;
    if (2 * z0 < z1 && halfLast < z1)
        return 2;
    return 0;
}

bool isWellFormedUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    auto continuation = [&](qsizetype at, unsigned lo, unsigned hi) {
        return at < n && p[at] >= lo && p[at] <= hi;
    };
    while (i < n) {
        const unsigned c = p[i];
        int tail = 0;      // continuation bytes after the second byte
        unsigned lo = 128; // range of the second byte
        unsigned hi = 191;
        if (c <= 127) {
            ++i;
            continue;
        } else if (c >= 194 && c <= 223) {
            tail = 0;
        } else if (c == 224) {
            lo = 160;
            tail = 1;
        } else if (c == 237) {
            hi = 159; // ED A0..BF would encode a UTF-16 surrogate
            tail = 1;
        } else if (c >= 225 && c <= 239) {
            tail = 1;
        } else if (c == 240) {
            lo = 144;
            tail = 2;
        } else if (c >= 241 && c <= 243) {
            tail = 2;
        } else if (c == 244) {
            hi = 143;
            tail = 2;
        } else {
            return false;
        }
        if (!continuation(i + 1, lo, hi))
            return false;
        for (int k = 0; k < tail; ++k) {
            if (!continuation(i + 2 + k, 128, 191))
                return false;
        }
        i += 2 + tail;
    }
    return true;
}

} // namespace

TextEncoding GuessEncoding(const QByteArray &bytes)
{
    bool swapped = false;
    return GuessEncoding(bytes, swapped);
}

TextEncoding GuessEncoding(const QByteArray &bytes, bool &swapped)
{
    swapped = false;
    if (bytes.startsWith("\xFE\xFF")) {
        swapped = !hostIsBigEndian;
        return TextEncoding::UTF16;
    }
    if (bytes.startsWith("\xFF\xFE")) {
        swapped = hostIsBigEndian;
        return TextEncoding::UTF16;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return TextEncoding::UTF8;

    // UTF-16 without a byte-order mark is looked for before the ASCII test:
    // English text in UTF-16 has no byte above 127 either, and reading it as
    // ASCII would leave a NUL between every two characters.
    switch (zeroSpread(bytes)) {
    case 1:
        swapped = !hostIsBigEndian;
        return TextEncoding::UTF16;
    case 2:
        swapped = hostIsBigEndian;
        return TextEncoding::UTF16;
    default:
        break;
    }

    bool ascii = true;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) > 127) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return TextEncoding::ASCII;

    return isWellFormedUtf8(bytes) ? TextEncoding::UTF8 : TextEncoding::Latin1;
}

QString decodeText(const QByteArray &bytes)
{
    bool swapped = false;
    switch (GuessEncoding(bytes, swapped)) {
    case TextEncoding::UTF16: {
        const bool bigEndian = hostIsBigEndian != swapped;
        QStringDecoder decoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                               QStringConverter::Flag::Default);
        // The default flags drop a leading byte-order mark.
        return decoder.decode(bytes);
    }
    case TextEncoding::UTF8: {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Default);
        return decoder.decode(bytes);
    }
    case TextEncoding::ASCII:
    case TextEncoding::Latin1:
        break;
    }
    return QString::fromLatin1(bytes);
}

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::UTF16:
        return u"UTF-16"_s;
    case TextEncoding::UTF8:
        return u"UTF-8"_s;
    case TextEncoding::ASCII:
        return u"ASCII"_s;
    case TextEncoding::Latin1:
        break;
    }
    return u"ISO-8859-1"_s;
}

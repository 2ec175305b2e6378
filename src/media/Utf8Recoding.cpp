#include "media/Utf8Recoding.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringList>

#include <uchardet/uchardet.h>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray kUtf8Mark("\xEF\xBB\xBF");

QString detectedEncoding(const QByteArray &bytes)
{
    const std::unique_ptr<uchardet, decltype(&uchardet_delete)> detector(uchardet_new(), uchardet_delete);
    if (!detector || uchardet_handle_data(detector.get(), bytes.constData(), size_t(bytes.size())) != 0)
        return QString();
    uchardet_data_end(detector.get());
    return QString::fromLatin1(uchardet_get_charset(detector.get())).toUpper();
}

// The encodings subtitles in a language are written in, besides UTF-8 and
// UTF-16. A language missing here takes whatever the detector says.
const QStringList &encodingsOfLanguage(const QString &language)
{
    static const QStringList western{u"WINDOWS-1252"_s, u"ISO-8859-1"_s, u"ISO-8859-15"_s, u"MAC-ROMAN"_s};
    static const QStringList cyrillic{u"WINDOWS-1251"_s, u"KOI8-R"_s, u"KOI8-U"_s,
                                      u"ISO-8859-5"_s,   u"IBM866"_s, u"MAC-CYRILLIC"_s};
    static const QStringList central{u"WINDOWS-1250"_s, u"ISO-8859-2"_s, u"ISO-8859-16"_s, u"IBM852"_s,
                                     u"MAC-CENTRALEUROPE"_s};
    static const QStringList baltic =
        QStringList{u"WINDOWS-1257"_s, u"ISO-8859-13"_s, u"ISO-8859-4"_s} + western;
    static const QHash<QString, QStringList> byLanguage{
        {u"ru"_s, cyrillic},
        {u"bg"_s, cyrillic},
        {u"uk"_s, cyrillic},
        {u"mk"_s, cyrillic},
        {u"sr"_s, cyrillic + central},
        {u"pl"_s, central},
        {u"cs"_s, central},
        {u"sk"_s, central},
        {u"hu"_s, central},
        {u"hr"_s, central},
        {u"sl"_s, central},
        {u"ro"_s, central},
        {u"sq"_s, central + western},
        {u"el"_s, {u"WINDOWS-1253"_s, u"ISO-8859-7"_s}},
        {u"tr"_s, {u"WINDOWS-1254"_s, u"ISO-8859-9"_s, u"ISO-8859-3"_s}},
        {u"ar"_s, {u"WINDOWS-1256"_s, u"ISO-8859-6"_s}},
        {u"fa"_s, {u"WINDOWS-1256"_s, u"ISO-8859-6"_s}},
        {u"he"_s, {u"WINDOWS-1255"_s, u"ISO-8859-8"_s}},
        {u"et"_s, baltic},
        {u"vi"_s, {u"WINDOWS-1258"_s, u"VISCII"_s}},
        {u"zh"_s,
         {u"GB18030"_s, u"GB2312"_s, u"GBK"_s, u"BIG5"_s, u"EUC-TW"_s, u"HZ-GB-2312"_s, u"ISO-2022-CN"_s}},
        {u"ja"_s, {u"SHIFT_JIS"_s, u"EUC-JP"_s, u"ISO-2022-JP"_s, u"CP932"_s}},
        {u"ko"_s, {u"EUC-KR"_s, u"UHC"_s, u"CP949"_s, u"ISO-2022-KR"_s, u"JOHAB"_s}},
        {u"ka"_s, {u"GEORGIAN-ACADEMY"_s, u"GEORGIAN-PS"_s}},
    };
    static const QStringList anything;
    static const QStringList westernLanguages =
        u"en|fr|de|es|it|pt|pb|nl|sv|da|no|fi|ca|eu|gl|oc|id|ms|is"_s.split(u'|');
    if (westernLanguages.contains(language))
        return western;
    const auto found = byLanguage.constFind(language);
    return found == byLanguage.cend() ? anything : *found;
}

bool fitsLanguage(const QString &encoding, const QString &language)
{
    const QStringList &expected = encodingsOfLanguage(language.toLower());
    return expected.isEmpty() || expected.contains(encoding) || encoding.startsWith("UTF-"_L1);
}

// Text that a right guess never gives: control characters other than tab,
// line feed and carriage return (C1 controls come from reading a Windows
// code page as ISO-8859), and the replacement character.
bool decodedCleanly(const QString &text)
{
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || (u >= 0x7F && u <= 0x9F) ||
               u == 0xFFFD;
    });
}

std::optional<QString> decodeWithIconv(const QByteArray &bytes, const QString &encoding)
{
    const iconv_t cd = iconv_open("UTF-8", encoding.toLatin1().constData());
    if (cd == iconv_t(-1))
        return std::nullopt;
    QByteArray out(bytes.size() * 4 + 16, Qt::Uninitialized);
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char *to = out.data();
    size_t outLeft = size_t(out.size());
    const size_t done = iconv(cd, &in, &inLeft, &to, &outLeft);
    const bool ok = done != size_t(-1) && inLeft == 0 &&
                    iconv(cd, nullptr, nullptr, &to, &outLeft) != size_t(-1); // the closing shift state
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.truncate(out.size() - qsizetype(outLeft));
    const QString text = QString::fromUtf8(out);
    return text;
}

// The text in `encoding`; nothing when it is not a clean reading.
std::optional<QString> decode(const QByteArray &bytes, const QString &encoding)
{
    std::optional<QString> text;
    // Qt's own converters first (built-in, and ICU's where Qt has it); the C
    // library's for the names Qt does not know.
    QStringDecoder qtDecoder(encoding.toLatin1().constData());
    if (qtDecoder.isValid()) {
        QString decoded = qtDecoder.decode(bytes);
        if (!qtDecoder.hasError())
            text = std::move(decoded);
    } else {
        text = decodeWithIconv(bytes, encoding);
    }
    if (text && text->startsWith(QChar(0xFEFF)))
        text->remove(0, 1);
    if (!text || !decodedCleanly(*text))
        return std::nullopt;
    return text;
}

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError() && text.toUtf8() == bytes;
}

} // namespace

namespace Utf8Recoding {

QString Result::note() const
{
    switch (outcome) {
    case Outcome::AlreadyUtf8:
        return u"already UTF-8"_s;
    case Outcome::Converted:
        return u"converted from "_s + encoding;
    case Outcome::NotSure:
        break;
    }
    return encoding.isEmpty() ? u"kept as served: the encoding is not sure"_s
                              : u"kept as served: the encoding is not sure (%1?)"_s.arg(encoding);
}

Result toUtf8(const QByteArray &bytes, const QString &language)
{
    Result result{Result::Outcome::NotSure, bytes, QString()};
    if (bytes.startsWith(kUtf8Mark) && isUtf8(bytes)) {
        result.bytes = bytes.mid(kUtf8Mark.size());
        result.encoding = u"UTF-8"_s;
        result.outcome = Result::Outcome::Converted; // only the mark goes
        return result;
    }
    // UTF-16 announces itself with its mark; everything else needs a guess.
    const bool utf16 = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    if (!utf16 && isUtf8(bytes)) {
        result.outcome = Result::Outcome::AlreadyUtf8;
        result.encoding = u"UTF-8"_s;
        return result;
    }
    result.encoding = utf16 ? u"UTF-16"_s : detectedEncoding(bytes);
    if (result.encoding.isEmpty() || !fitsLanguage(result.encoding, language))
        return result;
    const std::optional<QString> text = decode(bytes, result.encoding);
    if (!text)
        return result;
    result.bytes = text->toUtf8();
    result.outcome = Result::Outcome::Converted;
    return result;
}

} // namespace Utf8Recoding

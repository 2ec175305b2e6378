#pragma once

#include <QByteArray>
#include <QString>

// Re-encodes a subtitle as UTF-8 without a byte-order mark, keeping its
// line endings and text. The encoding is detected with uchardet and checked
// against the subtitle's language: a Russian subtitle read as Latin-1, or a
// Greek one as a Chinese encoding, is a wrong guess, not a conversion. When
// the guess is not sure (no answer, an answer that does not fit the
// language, or bytes that do not decode cleanly) the bytes stay as they are.
// Text that is UTF-8 already is left alone, so nothing is converted twice.
namespace Utf8Recoding {

struct Result {
    enum class Outcome { AlreadyUtf8, Converted, NotSure };
    Outcome outcome = Outcome::NotSure;
    QByteArray bytes; // UTF-8 when converted; otherwise the bytes given
    // The encoding the text was read as, or the detector's guess when unsure
    // (empty when it had none); uchardet's names ("WINDOWS-1251").
    QString encoding;

    // For the user: "converted from WINDOWS-1251", "already UTF-8", "kept as
    // served: the encoding is not sure (ISO-8859-1?)".
    QString note() const;
};

// `language` is the subtitle's two-letter code (empty when unknown).
Result toUtf8(const QByteArray &bytes, const QString &language);

} // namespace Utf8Recoding

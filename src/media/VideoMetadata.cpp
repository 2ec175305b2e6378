#include "media/VideoMetadata.h"

#include <QVarLengthArray>

#include <array>
#include <string_view>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// One step of a marker pattern (see patterns()).
enum class Step : quint8 {
    Text,      // the text of the step; its letters in either case
    Digits,    // one digit or more, as many as there are (kept)
    Digit,     // exactly one digit (kept)
    TwoDigits, // exactly two digits (kept)
    Year,      // 1900 to 2019 (kept)
    Month,     // 00 to 12 (kept)
    Day,       // 00 to 31 (kept)
    Spaces,    // any number of spaces, none included
};

struct Piece {
    Step step;
    std::string_view text = {};
};

// A marker of an episode, a date or a part, such as " S01E02". The name is
// read from its end: the marker found is the last one in the name, what comes
// before it is the show, and what follows it does not matter. The kept
// numbers fill the %2, %3 and %4 of `format`; `plainNumbers` writes each
// without its leading zeros.
struct Pattern {
    std::vector<Piece> pieces;
    QString kind;
    std::string_view format;
    bool plainNumbers;
};

constexpr Piece text(std::string_view t)
{
    return {Step::Text, t};
}

// Earlier patterns win over later ones wherever they are in the name.
const std::vector<Pattern> &patterns()
{
    constexpr Piece digits{Step::Digits};
    constexpr Piece spaces{Step::Spaces};
    static const std::vector<Pattern> list = {
        {{text(" S"), digits, text("E"), digits, text("-E"), digits}, u"EP2"_s, "%2x%3-%4", true},
        {{text(" S"), digits, text("E"), digits, text(" E"), digits}, u"EP2"_s, "%2x%3-%4", true},
        {{text(" S"), digits, text("E"), digits, text("E"), digits}, u"EP2"_s, "%2x%3-%4", true},
        {{text(" "), digits, text("x"), digits, text("-"), digits}, u"EP2"_s, "%2x%3-%4", true},
        {{text(" season "), digits, text(" ep "), digits, text("-"), digits}, u"EP2"_s, "%2x%3-%4", true},
        {{text(" season "), digits, text(" ep "), digits}, u"EPI"_s, "%2x%3", true},
        {{text(" S"), digits, text("E"), digits}, u"EPI"_s, "%2x%3", true},
        {{text(" "), digits, text("x"), digits}, u"EPI"_s, "%2x%3", true},
        {{text(" "), {Step::Digit}, {Step::TwoDigits}, text(" ")}, u"EPI"_s, "%2x%3", true},
        {{text(" "), {Step::Year}, text(" "), {Step::Month}, text(" "), {Step::Day}},
         u"DAY"_s,
         "%2-%3-%4",
         true},
        {{text(" "), {Step::Month}, text(" "), {Step::Day}, text(" "), {Step::Year}},
         u"DAY"_s,
         "%4-%2-%3",
         true},
        {{text(" S"), digits}, u"SPC"_s, "SP%2", false},
        {{text(" E"), digits}, u"SPC"_s, "SP%2", false},
        {{text(" Part "), digits, spaces, text("of"), spaces, digits}, u"PRT"_s, "%2-%3", true},
        {{text(" "), digits, spaces, text("of"), spaces, digits}, u"PRT"_s, "%2-%3", true},
        {{text(" Part"), spaces, digits}, u"PRT"_s, "%2", false},
    };
    return list;
}

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// Letters match in either case; an "s" also matches the long s (U+017F),
// which folds to it.
bool sameLetter(QChar c, char wanted)
{
    const char16_t u = c.unicode();
    const auto lower = [](char16_t x) { return x >= u'A' && x <= u'Z' ? char16_t(x + 32) : x; };
    const char16_t w = lower(char16_t(wanted));
    return lower(u) == w || (w == u's' && u == u'\u017F');
}

// The numbers kept by a pattern, as spans of the name.
struct Kept {
    std::array<QStringView, 3> numbers;
    int count = 0;
};

// Whether the pattern's pieces match the name from `at` on; fills `kept`.
bool matchesAt(const Pattern &p, QStringView name, qsizetype at, Kept &kept)
{
    const qsizetype n = name.size();
    const auto digitAt = [&](qsizetype i) { return i < n && isDigit(name[i]); };
    const auto charAt = [&](qsizetype i) { return i < n ? name[i].unicode() : char16_t(0); };
    kept.count = 0;
    for (const Piece &piece : p.pieces) {
        const qsizetype from = at;
        switch (piece.step) {
        case Step::Text:
            for (const char c : piece.text) {
                if (at >= n || !sameLetter(name[at], c))
                    return false;
                ++at;
            }
            continue;
        case Step::Spaces:
            while (charAt(at) == u' ')
                ++at;
            continue;
        case Step::Digits:
            while (digitAt(at))
                ++at;
            if (at == from)
                return false;
            break;
        case Step::Digit:
            if (!digitAt(at))
                return false;
            at += 1;
            break;
        case Step::TwoDigits:
            if (!digitAt(at) || !digitAt(at + 1))
                return false;
            at += 2;
            break;
        case Step::Year: {
            const char16_t a = charAt(at), b = charAt(at + 1), c = charAt(at + 2);
            const bool nineteen = a == u'1' && b == u'9' && digitAt(at + 2);
            const bool twenty = a == u'2' && b == u'0' && (c == u'0' || c == u'1');
            if (!(nineteen || twenty) || !digitAt(at + 3))
                return false;
            at += 4;
            break;
        }
        case Step::Month: {
            const char16_t a = charAt(at), b = charAt(at + 1);
            if (!((a == u'0' && digitAt(at + 1)) || (a == u'1' && b >= u'0' && b <= u'2')))
                return false;
            at += 2;
            break;
        }
        case Step::Day: {
            const char16_t a = charAt(at), b = charAt(at + 1);
            if (!((a >= u'0' && a <= u'2' && digitAt(at + 1)) || (a == u'3' && (b == u'0' || b == u'1'))))
                return false;
            at += 2;
            break;
        }
        }
        kept.numbers[size_t(kept.count++)] = name.sliced(from, at - from);
    }
    return true;
}

// The first pattern that matches the name anywhere, at the last space from
// which it does (`at`). A name that is not valid UTF-16 (a lone surrogate)
// holds no marker.
const Pattern *findMarker(QStringView name, qsizetype &at, Kept &kept)
{
    if (!name.isValidUtf16())
        return nullptr;
    // Every pattern starts at a space: the spaces, last first.
    QVarLengthArray<qsizetype, 32> spaces;
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        if (name[i] == u' ')
            spaces.append(i);
    }
    // The character after the space rules most places out at once: the
    // pattern's next letter, or a digit where a number follows the space.
    const auto mayStartAt = [&name](const Pattern &p, qsizetype space) {
        if (space + 1 >= name.size())
            return false;
        const QChar next = name[space + 1];
        const Piece &first = p.pieces.front();
        if (first.text.size() >= 2)
            return sameLetter(next, first.text[1]);
        const Step then = p.pieces.size() > 1 ? p.pieces[1].step : Step::Text;
        return then == Step::Text || then == Step::Spaces || isDigit(next);
    };
    for (const Pattern &p : patterns()) {
        for (const qsizetype space : spaces) {
            if (mayStartAt(p, space) && matchesAt(p, name, space, kept)) {
                at = space;
                return &p;
            }
        }
    }
    return nullptr;
}

// A run of digits as its integer value without leading zeros. Done on the
// text, so that a run too long for any integer type still reads back whole.
QStringView withoutLeadingZeros(QStringView digits)
{
    qsizetype i = 0;
    while (i + 1 < digits.size() && digits.at(i) == u'0')
        ++i;
    return digits.sliced(i);
}

// A 32-bit field from a run of digits; 0 when it does not fit.
qint32 toField(QStringView digits)
{
    bool ok = false;
    const qint32 value = digits.toInt(&ok);
    return ok ? value : 0;
}

// Dots, brackets and underscores become spaces and " - " one space (the
// leftmost first), then every run of spaces is shortened to one space for
// each 32 (as halving it five times does).
QString normalise(const QString &text)
{
    const auto spaced = [&text](qsizetype i) {
        const QChar c = text.at(i);
        return c == u'.' || c == u'[' || c == u']' || c == u'_' ? QChar(u' ') : c;
    };
    const qsizetype size = text.size();
    QString s(size, Qt::Uninitialized);
    QChar *out = s.data();
    qsizetype n = 0;
    for (qsizetype i = 0; i < size;) {
        if (i + 2 < size && spaced(i) == u' ' && text.at(i + 1) == u'-' && spaced(i + 2) == u' ') {
            out[n++] = u' ';
            i += 3;
        } else {
            out[n++] = spaced(i++);
        }
    }
    qsizetype kept = 0;
    for (qsizetype i = 0; i < n;) {
        if (out[i] != u' ') {
            out[kept++] = out[i++];
            continue;
        }
        qsizetype run = 0;
        for (; i < n && out[i] == u' '; ++i)
            ++run;
        for (qsizetype k = (run + 31) / 32; k > 0; --k)
            out[kept++] = u' ';
    }
    s.truncate(kept);
    return s;
}

} // namespace

VideoMetadata::VideoMetadata(const QString &text)
{
    GetEpisodeMetadata(text);
}

VideoMetadata::VideoMetadata(const QFileInfo &file)
{
    GetEpisodeMetadata(file);
}

VideoMetadata::VideoMetadata(const VideoMetadata &other)
{
    *this = other;
}

VideoMetadata &VideoMetadata::operator=(const VideoMetadata &other)
{
    if (this == &other)
        return *this;
    isTVShow = other.isTVShow;
    showname = other.showname;
    showtype = other.showtype;
    metadata = other.metadata;
    season = other.season;
    episode = other.episode;
    episode2 = other.episode2;
    showDate = other.showDate;
    part = other.part;
    parts = other.parts;
    setIdentity(other.identity());
    return *this;
}

VideoMetadata::ServiceIdentity VideoMetadata::identity() const
{
    const QMutexLocker lock(&m_mutex);
    return m_identity;
}

void VideoMetadata::setIdentity(const ServiceIdentity &identity)
{
    const QMutexLocker lock(&m_mutex);
    m_identity = identity;
}

QString VideoMetadata::movieImdbID() const
{
    return identity().movieImdbID;
}

void VideoMetadata::setMovieImdbID(const QString &id)
{
    const QMutexLocker lock(&m_mutex);
    m_identity.movieImdbID = id;
}

void VideoMetadata::GetEpisodeMetadata(const QFileInfo &file)
{
    GetEpisodeMetadata(parsedPartOf(file.fileName()));
}

QString VideoMetadata::parsedPartOf(QStringView fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? QString() : fileName.left(dot).toString();
}

void VideoMetadata::GetEpisodeMetadata(const QString &text)
{
    const QString normalised = normalise(text);
    season = episode = episode2 = part = parts = 0;
    showDate.clear();

    qsizetype at = 0;
    Kept kept;
    const Pattern *found = findMarker(normalised, at, kept);
    isTVShow = found != nullptr;
    if (!found) {
        // Brackets were made spaces above, so a "[" never marks a film here.
        showtype = u"UNK"_s;
        showname = text.trimmed();
        metadata.clear();
        return;
    }

    if (found->plainNumbers) {
        for (int i = 0; i < kept.count; ++i)
            kept.numbers[size_t(i)] = withoutLeadingZeros(kept.numbers[size_t(i)]);
    }
    const auto number = [&](int group) { return kept.numbers[size_t(group - 2)]; };
    const std::string_view format = found->format;
    qsizetype length = qsizetype(format.size());
    for (int i = 0; i < kept.count; ++i)
        length += kept.numbers[size_t(i)].size();
    QString marker;
    marker.reserve(length);
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size())
            marker += number(format[++i] - '0');
        else
            marker += QLatin1Char(format[i]);
    }
    showname = QStringView(normalised).left(at).trimmed().toString();
    showtype = found->kind;
    metadata = marker;

    if (showtype == "EPI"_L1) {
        season = toField(number(2));
        episode = toField(number(3));
    } else if (showtype == "EP2"_L1) {
        season = toField(number(2));
        episode = toField(number(3));
        episode2 = toField(number(4));
    } else if (showtype == "DAY"_L1) {
        showDate = metadata;
    } else if (showtype == "PRT"_L1) {
        part = toField(number(2));
        parts = kept.count > 1 ? toField(number(3)) : 0;
    }
}

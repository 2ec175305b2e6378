#include "media/VideoMetadata.h"

#include <QRegularExpression>

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace {

// How the marker text is built from a pattern's groups: `format` holds %2,
// %3, ... for the groups; `plainNumbers` rewrites every number without its
// leading zeros.
struct Pattern {
    QRegularExpression re;
    QString kind;
    QString format;
    bool plainNumbers;
};

QRegularExpression ci(const QString &pattern)
{
    // A name may hold a line break on Linux; let "." run over it.
    return QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption |
                                           QRegularExpression::DotMatchesEverythingOption);
}

const std::array<Pattern, 16> &patterns()
{
    static const std::array<Pattern, 16> list = {{
        {ci(u"^(.*) S([0-9][0-9]*)E([0-9][0-9]*)-E([0-9][0-9]*).*$"_s), u"EP2"_s, u"%2x%3-%4"_s, true},
        {ci(u"^(.*) S([0-9][0-9]*)E([0-9][0-9]*) E([0-9][0-9]*).*$"_s), u"EP2"_s, u"%2x%3-%4"_s, true},
        {ci(u"^(.*) S([0-9][0-9]*)E([0-9][0-9]*)E([0-9][0-9]*).*$"_s), u"EP2"_s, u"%2x%3-%4"_s, true},
        {ci(u"^(.*) ([0-9][0-9]*)x([0-9][0-9]*)-([0-9][0-9]*).*$"_s), u"EP2"_s, u"%2x%3-%4"_s, true},
        {ci(u"^(.*) season ([0-9][0-9]*) ep ([0-9][0-9]*)-([0-9][0-9]*).*$"_s), u"EP2"_s, u"%2x%3-%4"_s,
         true},
        {ci(u"^(.*) season ([0-9][0-9]*) ep ([0-9][0-9]*).*$"_s), u"EPI"_s, u"%2x%3"_s, true},
        {ci(u"^(.*) S([0-9][0-9]*)E([0-9][0-9]*).*$"_s), u"EPI"_s, u"%2x%3"_s, true},
        {ci(u"^(.*) ([0-9][0-9]*)x([0-9][0-9]*).*$"_s), u"EPI"_s, u"%2x%3"_s, true},
        {ci(u"^(.*) ([0-9])([0-9][0-9]) .*$"_s), u"EPI"_s, u"%2x%3"_s, true},
        {ci(u"^(.*) (19[0-9]{2}|20[0-1][0-9]) (0[0-9]|1[0-2]) ([0-2][0-9]|3[0-1]).*$"_s), u"DAY"_s,
         u"%2-%3-%4"_s, true},
        {ci(u"^(.*) (0[0-9]|1[0-2]) ([0-2][0-9]|3[0-1]) (19[0-9]{2}|20[0-1][0-9]).*$"_s), u"DAY"_s,
         u"%4-%2-%3"_s, true},
        {ci(u"^(.*) S([0-9][0-9]*).*$"_s), u"SPC"_s, u"SP%2"_s, false},
        {ci(u"^(.*) E([0-9][0-9]*).*$"_s), u"SPC"_s, u"SP%2"_s, false},
        {ci(u"^(.*) Part ([0-9][0-9]*)[ ]*[Oo][Ff][ ]*([0-9][0-9]*).*$"_s), u"PRT"_s, u"%2-%3"_s, true},
        {ci(u"^(.*) ([0-9][0-9]*)[ ]*[Oo][Ff][ ]*([0-9][0-9]*).*$"_s), u"PRT"_s, u"%2-%3"_s, true},
        {ci(u"^(.*) Part[ ]*([0-9][0-9]*).*$"_s), u"PRT"_s, u"%2"_s, false},
    }};
    return list;
}

// A run of digits as its integer value without leading zeros. Done on the
// text, so that a run too long for any integer type still reads back whole.
QString withoutLeadingZeros(const QString &digits)
{
    qsizetype i = 0;
    while (i + 1 < digits.size() && digits.at(i) == u'0')
        ++i;
    return digits.mid(i);
}

// A 32-bit field from a run of digits; 0 when it does not fit.
qint32 toField(const QString &digits)
{
    bool ok = false;
    const qint32 value = digits.toInt(&ok);
    return ok ? value : 0;
}

QString normalise(const QString &text)
{
    QString s = text;
    s.replace(u'.', u' ');
    s.replace(u'[', u' ');
    s.replace(u']', u' ');
    s.replace(u'_', u' ');
    s.replace(u" - "_s, u" "_s);
    for (int i = 0; i < 5; ++i)
        s.replace(u"  "_s, u" "_s);
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
    const QString name = file.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    GetEpisodeMetadata(dot < 0 ? QString() : name.left(dot));
}

void VideoMetadata::GetEpisodeMetadata(const QString &text)
{
    const QString normalised = normalise(text);

    QString name;
    QString kind;
    QString marker;
    bool matched = false;
    for (const Pattern &p : patterns()) {
        const QRegularExpressionMatch m = p.re.match(normalised);
        if (!m.hasMatch())
            continue;
        name = m.captured(1);
        kind = p.kind;
        marker = p.format;
        for (int g = p.re.captureCount(); g >= 2; --g) {
            const QString digits = m.captured(g);
            marker.replace(u'%' + QString::number(g), p.plainNumbers ? withoutLeadingZeros(digits) : digits);
        }
        matched = true;
        break;
    }

    if (!matched) {
        static const QRegularExpression movie = ci(u"^(.*?)\\[(.*)$"_s);
        const QRegularExpressionMatch m = movie.match(normalised);
        if (m.hasMatch()) {
            kind = u"MOV"_s;
            name = m.captured(1);
        } else {
            kind = u"UNK"_s;
            name = text;
        }
        marker.clear();
    }

    isTVShow = matched;
    metadata = marker.trimmed();
    showname = name.trimmed();
    showtype = kind.trimmed();
    season = episode = episode2 = part = parts = 0;
    showDate.clear();

    if (showtype == "EPI"_L1) {
        const QStringList f = metadata.split(u'x');
        season = toField(f.value(0));
        episode = toField(f.value(1));
    } else if (showtype == "EP2"_L1) {
        const QStringList f = metadata.split(u'x');
        const QStringList e = f.value(1).split(u'-');
        season = toField(f.value(0));
        episode = toField(e.value(0));
        episode2 = toField(e.value(1));
    } else if (showtype == "DAY"_L1) {
        showDate = metadata;
    } else if (showtype == "PRT"_L1) {
        const QStringList f = metadata.split(u'-');
        part = toField(f.value(0));
        parts = toField(f.value(1));
    }
}

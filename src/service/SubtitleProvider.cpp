#include "service/SubtitleProvider.h"

#include "service/FailureWords.h"

using namespace Qt::Literals::StringLiterals;

QString ServiceError::text() const
{
    if (ok())
        return QString();
    // Words only: our codes mean nothing to a reader.
    return reason.isEmpty() ? FailureWords::describe(code, reason) : reason;
}

Dictionary SubtitleQuery::parameters() const
{
    Dictionary echo{{u"sublanguageid"_s, language}};
    switch (kind) {
    case Kind::Hash:
        echo.insert(u"moviehash"_s, movieHash);
        echo.insert(u"moviebytesize"_s, QVariant::fromValue<qulonglong>(movieByteSize));
        break;
    case Kind::Imdb:
        echo.insert(u"imdbid"_s, imdbId);
        break;
    case Kind::Tag:
        echo.insert(u"tag"_s, tag);
        break;
    case Kind::Name:
        echo.insert(u"query"_s, query);
        if (season != 0 || episode != 0) {
            echo.insert(u"season"_s, qint32(season));
            echo.insert(u"episode"_s, qint32(episode));
        }
        break;
    }
    return echo;
}

ServiceResult<QMap<QString, QList<Dictionary>>> SubtitleProvider::identify(const QStringList &)
{
    return ServiceResult<QMap<QString, QList<Dictionary>>>::failure(
        {ServiceError::NotSupported, u"this service cannot tell films by their hash"_s});
}

void SubtitleProvider::downloadEach(
    const QList<openSubtitleItem> &subtitles, const std::function<bool(int)> &begin,
    const std::function<void(int, const ServiceResult<QByteArray> &)> &delivered, const StopCheck &dropped)
{
    for (int i = 0; i < int(subtitles.size()); ++i) {
        if (begin(i))
            delivered(i, download(subtitles[i], dropped));
    }
}

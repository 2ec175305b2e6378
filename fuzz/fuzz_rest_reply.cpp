// A REST API reply, from its bytes through every reader that maps it: the
// search reply into result records and the best choice, the sign-in reply
// (token and the server it names), the download reply (link, name, quota)
// and an error body (JSON or an HTML page).
#include "FuzzSupport.h"

#include "service/BestChoice.h"
#include "service/HttpRules.h"
#include "service/JobRecords.h"
#include "service/rest/RestClient.h"
#include "service/rest/RestJson.h"
#include "service/rest/RestResults.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QList<RestSearch> &searches()
{
    static const QList<RestSearch> all = [] {
        RestSearch byHash;
        byHash.movieHash = u"1111111111111111"_s;
        byHash.query = u"Film 2010"_s;
        byHash.languages = {u"en"_s, u"pb"_s};
        RestSearch byName;
        byName.imdbId = u"3128398"_s;
        byName.query = u"Show"_s;
        byName.season = 1;
        byName.episode = 2;
        byName.languages = {u"es"_s, u"zh"_s};
        return QList<RestSearch>{byHash, byName};
    }();
    return all;
}

void searchReply(const QJsonObject &reply)
{
    static const auto film = fuzz::video(u"Film.2010.mkv"_s, u"1111111111111111"_s);
    film->setSubtitleResults({});
    film->setImdbs({});
    JobRecords records;
    records.movieFiles = {film};
    const QStringList languages{u"en"_s, u"pb"_s, u"es"_s, u"zh"_s};
    for (const RestSearch &search : searches()) {
        for (const auto &record : RestResults::fromSearchReply(reply, search)) {
            if (record->IDSubtitleFile <= 0 ||
                !search.languages.contains(record->ISO639, Qt::CaseInsensitive))
                fuzz::finding("a search result without a file id or in a language not asked for");
            records.addThisResult(record);
        }
    }
    const auto results = film->subtitleResults();
    BestChoice::mark(results, languages, BestChoice::Wishes{});
    for (const auto &result : results)
        (void)result->Cellstring();
}

void signInReply(const QJsonObject &reply)
{
    static const QUrl configured(u"https://api.opensubtitles.com/api/v1"_s);
    (void)RestJson::text(reply.value("token"_L1));
    const QUrl root = RestReplies::resolveRoot(configured, RestJson::text(reply.value("base_url"_L1)));
    // Whatever the reply names, the key goes to the service's own domain only.
    const QString host = root.host().toLower();
    if (root != configured && (!HttpRules::isSecureEnough(root) ||
                               (host != "opensubtitles.com"_L1 && !host.endsWith(".opensubtitles.com"_L1))))
        fuzz::finding("the sign-in reply moved the API root off the service's domain");
}

void downloadReply(const QJsonObject &reply)
{
    const RestQuota quota = RestReplies::quotaOf(reply, -1);
    if (quota.remaining < 0 || quota.resetTime.size() > 100 || quota.resetTimeUtc.size() > 100)
        fuzz::finding("a download quota out of range");
    const QUrl link(RestJson::text(reply.value("link"_L1)), QUrl::StrictMode);
    (void)HttpRules::isSecureEnough(link);
    (void)RestJson::text(reply.value("file_name"_L1));
    (void)RestJson::integer(reply.value("requests"_L1), 0, 1000000, 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = fuzz::bytes(data, size);
    // Error bodies are read whatever they hold: JSON, a web page, or noise.
    (void)RestReplies::serviceMessage(body, "X-Reason");
    (void)RestReplies::pageTitle(body);
    const auto reply = RestJson::parseObject(body);
    if (!reply)
        return 0;
    searchReply(*reply);
    signInReply(*reply);
    downloadReply(*reply);
    return 0;
}

#include "RestFixtures.h"
#include "ServiceEmulator.h"
#include "TestMain.h"

#include "service/rest/RestClient.h"
#include "service/rest/RestJson.h"
#include "service/rest/RestLanguages.h"
#include "service/rest/RestProvider.h"
#include "service/rest/RestQuery.h"
#include "service/rest/RestResults.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QThread>

using namespace Qt::Literals::StringLiterals;
using namespace RestFixtures;
using namespace std::chrono_literals;

namespace {

RestSearch hashSearch(const QStringList &languages = {u"en"_s, u"pb"_s})
{
    RestSearch s;
    s.movieHash = u"5b8f8f4e41ccb21e"_s;
    s.languages = languages;
    return s;
}

} // namespace

class tst_RestClient : public QObject {
    Q_OBJECT

    ServiceEmulator m_emu{ServiceEmulator::Api::Rest};

    RestClient::Settings settings(const QString &user = {}, const QString &password = {}) const
    {
        RestClient::Settings s;
        s.server = m_emu.url().toString();
        s.apiKey = u"test-key"_s;
        s.username = user;
        s.password = password;
        return s;
    }
    QJsonArray callsTo(const QString &endpoint) const
    {
        QJsonArray found;
        for (const QJsonValue &call : m_emu.calls()) {
            if (call[u"endpoint"_s].toString() == endpoint)
                found.append(call);
        }
        return found;
    }

private slots:
    void initTestCase() { QVERIFY(m_emu.start(kCatalog)); }
    void init() { QVERIFY(m_emu.reset()); }

    void canonicalQuery_data()
    {
        QTest::addColumn<RestQuery::Pairs>("pairs");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sorted, lower-case, comma and space encoded")
            << RestQuery::Pairs{{u"query"_s, u"Man of Steel"_s}, {u"Languages"_s, u"pt-BR,en"_s}}
            << u"languages=en%2Cpt-br&query=man+of+steel"_s;
        QTest::newRow("ids without tt and zeros, defaults dropped")
            << RestQuery::Pairs{{u"imdb_id"_s, u"tt0770828"_s},
                                {u"page"_s, u"1"_s},
                                {u"season_number"_s, u"02"_s},
                                {u"ai_translated"_s, u"include"_s},
                                {u"machine_translated"_s, u"exclude"_s}}
            << u"imdb_id=770828&season_number=2"_s;
        QTest::newRow("other bytes percent-encoded in upper case")
            << RestQuery::Pairs{{u"query"_s, u"Amélie & co/2"_s}, {u"page"_s, u"2"_s}}
            << u"page=2&query=am%C3%A9lie+%26+co%2F2"_s;
    }
    void canonicalQuery()
    {
        QFETCH(RestQuery::Pairs, pairs);
        QFETCH(QString, expected);
        QCOMPARE(RestQuery::canonical(pairs), expected);
    }

    void languageCodes()
    {
        const QList<std::pair<QString, QString>> both = {
            {u"en"_s, u"en"_s}, {u"pb"_s, u"pt-br"_s}, {u"pt"_s, u"pt-pt"_s}, {u"zh"_s, u"zh-cn"_s}};
        for (const auto &[ours, rest] : both) {
            QCOMPARE(RestLanguages::toRest(ours), rest);
            QCOMPARE(RestLanguages::fromRest(rest), ours);
            QCOMPARE(RestLanguages::fromRest(rest.toUpper()), ours);
        }
        QCOMPARE(RestLanguages::fromRest(u"pt-BR"_s), u"pb"_s);
        QCOMPARE(RestLanguages::toRest(u"EN"_s), u"en"_s);
        for (const QString &unknown : {u"xx"_s, u"pb"_s, u"zh-tw"_s, u""_s, u"english"_s})
            QVERIFY2(RestLanguages::fromRest(unknown).isEmpty(), qPrintable(unknown));
        QVERIFY(RestLanguages::toRest(u"xx"_s).isEmpty());
    }

    // Replies are read with their kinds and ranges checked; nothing hostile
    // gets through as a number or crashes the parser.
    void jsonGuards()
    {
        QVERIFY(!RestJson::parseObject("{\"a\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}"));
        QVERIFY(!RestJson::parseObject("[1]"));
        // Brackets inside strings do not count, nor does an escaped quote end one.
        QVERIFY(RestJson::parseObject("{\"s\":\"" + QByteArray(40, '[') + "\\\"]]\"}"));
        QCOMPARE(RestJson::nestingDepth("{\"a\":[{\"b\":\"}}}{{{\"}]}"), 3);

        const QJsonObject o =
            QJsonDocument::fromJson(
                R"({"big":1e300,"frac":2.5,"neg":-3,"text":"42","junk":"4x","null":null,"arr":[]})")
                .object();
        QCOMPARE(RestJson::integer(o["big"_L1], 0, INT_MAX, -1), -1);
        QCOMPARE(RestJson::integer(o["frac"_L1], 0, INT_MAX, -1), -1);
        QCOMPARE(RestJson::integer(o["neg"_L1], 0, INT_MAX, -1), -1);
        QCOMPARE(RestJson::integer(o["text"_L1], 0, INT_MAX, -1), 42);
        QCOMPARE(RestJson::integer(o["junk"_L1], 0, INT_MAX, -1), -1);
        QCOMPARE(RestJson::integer(o["null"_L1], 0, INT_MAX, -1), -1);
        QCOMPARE(RestJson::number(o["big"_L1], 0, 10), 10.0);
        QCOMPARE(RestJson::text(o["arr"_L1]), QString());
    }

    // The recorded episode item, as the merge and the best choice need it.
    void recordedItemMapping()
    {
        const QJsonObject item = QJsonDocument::fromJson(kRecordedEpisodeItem).object();
        RestSearch search;
        search.movieHash = u"5b8f8f4e41ccb21e"_s;
        search.query = u"Arrow"_s;
        search.season = 2;
        search.episode = 5;
        search.languages = {u"pb"_s};
        const auto r = RestResults::fromItem(item, search);
        QVERIFY(r);
        QCOMPARE(r->MatchedBy, u"fulltext"_s); // the hash was sent but did not match
        QCOMPARE(r->ISO639, u"pb"_s);
        QCOMPARE(r->SubLanguageID, u"pob"_s);
        QCOMPARE(r->IDSubtitleFile, 3249003);
        QCOMPARE(r->IDSubtitle, 3178800);
        QCOMPARE(r->SubHash, u"rest-3249003"_s);
        QCOMPARE(r->SubFileName, u"Arrow.S02E05.HDTV.x264-LOL.srt"_s);
        QCOMPARE(r->SubFormat, u"srt"_s);
        QCOMPARE(r->SubDownloadsCnt, 212472);
        QCOMPARE(r->SubRating, 10.0);
        QCOMPARE(r->SubAddDate, QDateTime(QDate(2013, 11, 7), QTime(4, 48, 10), Qt::UTC));
        QCOMPARE(r->IDMovieImdb, 3128398);
        QCOMPARE(r->MovieKind, u"episode"_s);
        QCOMPARE((std::pair{r->SeriesSeason, r->SeriesEpisode}), (std::pair{2, 5}));
        QCOMPARE(r->QueryParameters.value(u"query"_s).toString(), u"Arrow"_s);
        QCOMPARE(r->QueryParameters.value(u"season"_s).toInt(), 2);

        search.languages = {u"en"_s};
        QVERIFY2(!RestResults::fromItem(item, search), "a language that was not asked for");
    }

    // Anonymous search: one request, in canonical form, with the key and our
    // name; a hash match drops the name matches of its language.
    void searchByHashAndName()
    {
        RestClient client(settings());
        RestSearch search = hashSearch();
        search.query = u"Man of Steel"_s;
        const auto result = client.search(search);
        QVERIFY2(!result.error, qPrintable(result.error.reason));

        const QJsonArray calls = callsTo(u"subtitles"_s);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0][u"query"_s].toString(),
                 u"languages=en%2Cpt-br&moviehash=5b8f8f4e41ccb21e&query=man+of+steel"_s);
        QCOMPARE(calls[0][u"headers"_s][u"api-key"_s].toString(), u"test-key"_s);
        QCOMPARE(calls[0][u"headers"_s][u"user-agent"_s].toString(), u"Lumbra v" LUMBRA_VERSION ""_s);
        QVERIFY(!calls[0][u"headers"_s].toObject().contains(u"authorization"_s));

        QStringList got;
        for (const auto &item : result.items)
            got << item->ISO639 + u':' + item->MatchedBy + u':' + item->SubFileName;
        QCOMPARE(got,
                 (QStringList{u"en:moviehash:Man.of.Steel.en.srt"_s, u"pb:moviehash:Man.of.Steel.pb.srt"_s}));
        QCOMPARE(result.items[0]->MovieHash, u"5b8f8f4e41ccb21e"_s);
    }

    void signInUsesTokenAndBaseUrl()
    {
        RestClient client(settings(u"alice"_s, u"secret"_s));
        QVERIFY(!client.signIn());
        const auto result = client.search(hashSearch());
        QVERIFY2(!result.error, qPrintable(result.error.reason));
        // Signed in, it asks once how many downloads are left today.
        QCOMPARE(m_emu.methods(), (QStringList{u"login"_s, u"user"_s, u"subtitles"_s}));
        QCOMPARE(client.quota().remaining, 20);
        const QJsonValue search = callsTo(u"subtitles"_s)[0];
        QVERIFY(search[u"headers"_s][u"authorization"_s].toString().startsWith("Bearer "_L1));
        QCOMPARE(search[u"path"_s].toString(), u"/api/v1/subtitles"_s);
    }

    // What stops a session, and whether its message names what to fix.
    void sessionErrors_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("no key") << QString() << u""_s << QString() << 403 << RestClient::apiKeyPage();
        QTest::newRow("plain http elsewhere") << u"http://api.example.com/api/v1"_s << u"k"_s << QString()
                                              << int(ServiceError::HttpError) << u"RestServer"_s;
        QTest::newRow("bad account") << QString() << u"k"_s << u"alice:wrong"_s << 401
                                     << u"invalid username/password"_s;
        QTest::newRow("e-mail as user") << QString() << u"k"_s << u"a@b.c:x"_s << 401 << u"not the e-mail"_s;
        QTest::newRow("bad key") << QString() << u"refused"_s << QString() << 403 << u"RestApiKey"_s;
    }
    void sessionErrors()
    {
        QFETCH(QString, server);
        QFETCH(QString, key);
        QFETCH(QString, user);
        QFETCH(int, kind);
        QFETCH(QString, says);
        QVERIFY(m_emu.setCatalog(R"({"api_keys": ["k"], "users": {"alice": "secret"}, "rate_limit": 0})"));
        RestClient::Settings s = settings(user.section(u':', 0, 0), user.section(u':', 1));
        if (!server.isEmpty())
            s.server = server;
        s.apiKey = key;
        RestClient client(s);
        const auto result = client.search(hashSearch());
        QVERIFY(m_emu.setCatalog(kCatalog));
        QCOMPARE(result.error.code, kind);
        QVERIFY(RestClient::endsSession(result.error));
        QVERIFY2(result.error.reason.contains(says), qPrintable(result.error.reason));
    }

    // A failure of the network itself keeps its kind: an address where
    // nothing listens is refused, as over XML-RPC, not a lost connection.
    void nothingListeningIsRefused()
    {
        RestClient::Settings s = settings();
        s.server = u"http://127.0.0.1:1/api/v1"_s;
        RestClient client(s);
        const auto result = client.search(hashSearch());
        QCOMPARE(result.error.code, int(ServiceError::ConnectionRefused));
        QVERIFY2(result.error.reason.contains(u"cannot reach 127.0.0.1"_s), qPrintable(result.error.reason));
    }

    // Replies that are not the data asked for end as errors with a reason;
    // hostile JSON never crashes and never yields a record.
    void replyFailures_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QJsonObject>("options");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("503") << u"http503"_s << QJsonObject{} << int(ServiceError::Unavailable)
                             << u"HTTP 503"_s;
        QTest::newRow("html") << u"html"_s << QJsonObject{} << int(ServiceError::BadReply)
                              << u"502 Bad Gateway"_s;
        QTest::newRow("cut short") << u"badjson"_s << QJsonObject{} << int(ServiceError::BadReply)
                                   << u"read"_s;
        QTest::newRow("deep") << u"deepjson"_s << QJsonObject{} << int(ServiceError::BadReply) << u"read"_s;
        QTest::newRow("wrong types") << u"wrongtypes"_s << QJsonObject{} << int(ServiceError::None)
                                     << QString();
        QTest::newRow("429 beyond our bound")
            << u"http429"_s << QJsonObject{{u"retry_after"_s, 3600}} << 429 << u"pause of 3600 s"_s;
        QTest::newRow("429 with a date")
            << u"http429"_s << QJsonObject{{u"retry_after"_s, u"Wed, 21 Oct 2099 07:28:00 GMT"_s}} << 429
            << u"(until 2099-10-21 07:2"_s;
        QTest::newRow("redirect loop")
            << u"redirectloop"_s << QJsonObject{} << int(ServiceError::BadReply) << u"too many redirects"_s;
    }
    void replyFailures()
    {
        QFETCH(QString, mode);
        QFETCH(QJsonObject, options);
        QFETCH(int, kind);
        QFETCH(QString, says);
        QVERIFY(m_emu.fail(mode, u"subtitles"_s, -1, options));
        RestClient client(settings());
        const auto result = client.search(hashSearch());
        QCOMPARE(result.error.code, kind);
        QVERIFY2(result.error.reason.contains(says), qPrintable(result.error.reason));
        QVERIFY(result.items.isEmpty());
    }

    void redirectAnd429AreFollowed()
    {
        QVERIFY(m_emu.fail(u"redirect"_s, u"subtitles"_s, 1));
        QVERIFY(m_emu.fail(u"http429"_s, u"subtitles"_s, 1));
        RestClient client(settings());
        const auto result = client.search(hashSearch());
        QVERIFY2(!result.error, qPrintable(result.error.reason));
        QCOMPARE(result.items.size(), 2);
        const QJsonArray calls = callsTo(u"subtitles"_s);
        QCOMPARE(calls.size(), 3); // redirected, then 429, then the answer
        QVERIFY(calls[1][u"path"_s].toString().startsWith("/_moved/"_L1));
        QCOMPARE(calls[1][u"headers"_s][u"api-key"_s].toString(), u"test-key"_s);
    }

    // Two downloads use the anonymous quota of two; the third is refused with
    // the reset time, and a fourth asks nothing more.
    void downloadsCountTheQuota()
    {
        RestClient client(settings());
        for (int remaining : {1, 0}) {
            const auto d = client.fetchSubtitle(1950000001);
            QVERIFY2(!d.error, qPrintable(d.error.reason));
            QCOMPARE(d.content, QByteArray("1\n00:00:01,000 --> 00:00:02,000\nHello\n"));
            QCOMPARE(d.fileName, u"Man.of.Steel.en.srt"_s);
            QCOMPARE(client.quota().remaining, remaining);
        }
        const QJsonValue link = callsTo(u"link"_s)[0];
        QVERIFY(!link[u"headers"_s].toObject().contains(u"api-key"_s));

        const auto refused = client.fetchSubtitle(1950000001);
        QCOMPARE(refused.error.code, 406);
        QVERIFY(refused.content.isEmpty());
        // The count the service gives, and its renewal at 23:59:59 UTC as
        // the user's clock shows it.
        const QString renewal = QDateTime(QDateTime::currentDateTimeUtc().date(), QTime(23, 59, 59), Qt::UTC)
                                    .toLocalTime()
                                    .toString(u"HH:mm"_s);
        QVERIFY2(refused.error.reason.contains(u"used up: 2 downloads; it renews at "_s + renewal),
                 qPrintable(refused.error.reason));
        QVERIFY(refused.error.reason.contains(u"OSUsername"_s));
        const int sent = m_emu.calls().size();
        QCOMPARE(client.fetchSubtitle(1950000002).error.code, 406);
        QCOMPARE(m_emu.calls().size(), sent);
    }

    void expiredLinkIsAskedForOnce()
    {
        QVERIFY(m_emu.fail(u"http410"_s, u"link"_s, 1));
        RestClient client(settings());
        const auto d = client.fetchSubtitle(1950000001);
        QVERIFY2(!d.error, qPrintable(d.error.reason));
        QCOMPARE(callsTo(u"download"_s).size(), 2);

        QVERIFY(m_emu.reset()); // a fresh quota
        QVERIFY(m_emu.fail(u"http410"_s, u"link"_s, 2));
        const auto twice = client.fetchSubtitle(1950000001);
        QCOMPARE(twice.error.code, 410);
    }

    void linkGivingAPage()
    {
        QVERIFY(m_emu.fail(u"html"_s, u"link"_s, 1));
        RestClient client(settings());
        QCOMPARE(client.fetchSubtitle(1950000001).error.code, int(ServiceError::BadReply));
    }

    // A body that trickles on for ever ends at the exchange's time limit, one
    // without a length at the size cap as it arrives: search and link alike.
    void endlessAndHugeBodiesEndBounded_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("on");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("search trickles") << u"trickle"_s << u"subtitles"_s << int(ServiceError::TimedOut)
                                         << u"did not finish the search within 1.5 s"_s;
        QTest::newRow("link trickles") << u"trickle"_s << u"link"_s << int(ServiceError::TimedOut)
                                       << u"did not finish the subtitle download within 1.5 s"_s;
        QTest::newRow("search of 1 GiB")
            << u"chunked"_s << u"subtitles"_s << int(ServiceError::BadReply) << u"too large"_s;
        QTest::newRow("link of 1 GiB")
            << u"chunked"_s << u"link"_s << int(ServiceError::BadReply) << u"too large"_s;
    }
    void endlessAndHugeBodiesEndBounded()
    {
        QFETCH(QString, mode);
        QFETCH(QString, on);
        QFETCH(int, kind);
        QFETCH(QString, says);
        QVERIFY(m_emu.fail(mode, on, 1, {{u"interval"_s, 0.2}}));
        RestClient client(settings());
        // Short for the bodies that trickle; the huge ones end at the cap first.
        const auto limit = mode == "trickle"_L1 ? 1500ms : 60000ms;
        client.setTimeLimits(limit, limit);
        const ServiceError error =
            on == "link"_L1 ? client.fetchSubtitle(1950000001).error : client.search(hashSearch()).error;
        QCOMPARE(error.code, kind);
        QVERIFY2(error.reason.contains(says), qPrintable(error.reason));
        QCOMPARE(callsTo(on).size(), 1); // not sent again
    }

    // The key and the token go only to the origin they came for: not to
    // another port of the same computer, whether a redirect or the sign-in's
    // base_url names it.
    void credentialsStayWithTheirOrigin()
    {
        ServiceEmulator other{ServiceEmulator::Api::Rest};
        QVERIFY(other.start(kCatalog));
        const QString elsewhere = other.url().toString() + u"/subtitles"_s;
        QVERIFY(m_emu.fail(u"redirect"_s, u"subtitles"_s, 1,
                           QJsonObject{{u"code"_s, 307}, {u"location"_s, elsewhere}}));
        RestClient client(settings(u"alice"_s, u"secret"_s));
        const auto redirected = client.search(hashSearch());
        QCOMPARE(redirected.error.code, int(ServiceError::BadReply));
        QVERIFY2(redirected.error.reason.contains(u"does not send its key"_s),
                 qPrintable(redirected.error.reason));

        const QUrl configured(u"http://127.0.0.1:8080/api/v1"_s);
        QCOMPARE(RestReplies::resolveRoot(configured, u"127.0.0.1:8081"_s), configured);
        QCOMPARE(RestReplies::resolveRoot(configured, u"http://127.0.0.1:8081/api/v1"_s), configured);
        QCOMPARE(RestReplies::resolveRoot(configured, u"https://127.0.0.1:8080/api/v1"_s), configured);
        QCOMPARE(RestReplies::resolveRoot(configured, u"127.0.0.1:8080"_s), configured);
        const QUrl service(u"https://api.opensubtitles.com/api/v1"_s);
        QCOMPARE(RestReplies::resolveRoot(service, u"vip-api.opensubtitles.com"_s),
                 QUrl(u"https://vip-api.opensubtitles.com/api/v1"_s));
        QCOMPARE(RestReplies::resolveRoot(service, u"vip-api.opensubtitles.com:8443"_s), service);

        const QByteArray movedRoot = "\"rate_limit\": 0, \"base_url\": \"" + other.url().toEncoded() + "\",";
        QVERIFY(m_emu.setCatalog(QByteArray(kCatalog).replace("\"rate_limit\": 0,", movedRoot)));
        RestClient moved(settings(u"alice"_s, u"secret"_s));
        const auto found = moved.search(hashSearch());
        QVERIFY(m_emu.setCatalog(kCatalog));
        QVERIFY2(!found.error, qPrintable(found.error.reason));
        QVERIFY(other.calls().isEmpty());
    }

    // A token with anything but token characters could add headers to every
    // later request: it is a bad reply, and nothing more is asked.
    void tokenWithALineBreakIsRefused()
    {
        QVERIFY(m_emu.fail(u"token"_s, u"login"_s, 1, {{u"token"_s, u"abc\r\nX-Injected: yes"_s}}));
        RestClient client(settings(u"alice"_s, u"secret"_s));
        const auto result = client.search(hashSearch());
        QCOMPARE(result.error.code, int(ServiceError::BadReply));
        QVERIFY2(result.error.reason.contains(u"token"_s), qPrintable(result.error.reason));
        QCOMPARE(m_emu.methods(), QStringList{u"login"_s});
    }

    // A pause longer than we wait, in either form, ends the client's
    // requests until it is over: the next download asks nothing. One the
    // service does not say (null, negative) is waited a second and retried.
    void longRateLimitPauseEndsTheSession_data()
    {
        QTest::addColumn<QString>("retryAfter");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("says");
        QTest::newRow("an hour") << u"3600"_s << 1 << u"pause of 3600 s"_s;
        QTest::newRow("a date") << u"Wed, 21 Oct 2099 07:28:00 GMT"_s << 1 << u"until 2099-10-21"_s;
        QTest::newRow("negative") << u"-5"_s << 3 << u"does not say for how long"_s;
        QTest::newRow("null") << u"null"_s << 3 << u"does not say for how long"_s;
    }
    void longRateLimitPauseEndsTheSession()
    {
        QFETCH(QString, retryAfter);
        QFETCH(int, requests);
        QFETCH(QString, says);
        QVERIFY(m_emu.fail(u"http429"_s, u"download"_s, requests, {{u"retry_after"_s, retryAfter}}));
        RestClient client(settings());
        const auto first = client.fetchSubtitle(1950000001);
        QCOMPARE(first.error.code, 429);
        QVERIFY2(first.error.reason.contains(says), qPrintable(first.error.reason));
        QCOMPARE(callsTo(u"download"_s).size(), requests);
        const auto second = client.fetchSubtitle(1950000002);
        if (requests == 1) {
            QCOMPARE(second.error.code, 429);
            QCOMPARE(callsTo(u"download"_s).size(), 1);
        } else {
            QVERIFY2(!second.error, qPrintable(second.error.reason));
        }
    }

    // The jobs' queries per language become one request per search; tag
    // queries ask nothing; each result echoes the query of its language.
    void providerGroupsLanguages()
    {
        RestProvider provider(m_emu.url().toString(), u"test-key"_s);
        QVERIFY(provider.signIn({}).ok());
        SubtitleQuery hash;
        hash.movieHash = u"5b8f8f4e41ccb21e"_s;
        hash.movieByteSize = 1000;
        SubtitleQuery tag;
        tag.kind = SubtitleQuery::Kind::Tag;
        tag.tag = u"Man.of.Steel.mkv"_s;
        SubtitleQuery name;
        name.kind = SubtitleQuery::Kind::Name;
        name.query = u"Man of Steel"_s;
        QList<SubtitleQuery> queries;
        for (SubtitleQuery q : {hash, tag, name}) {
            for (const QString &language : {u"eng"_s, u"pob"_s}) {
                q.language = language;
                queries.append(q);
            }
        }
        const auto found = provider.search(queries, 1);
        QVERIFY2(found.ok(), qPrintable(found.error.text()));
        QCOMPARE(m_emu.methods(), (QStringList{u"subtitles"_s, u"subtitles"_s}));

        QStringList got;
        for (const auto &item : found.value) {
            got << item->MatchedBy + u':' + item->ISO639;
            SubtitleQuery own = item->MatchedBy == "moviehash"_L1 ? hash : name;
            own.language = item->SubLanguageID;
            QCOMPARE(item->QueryParameters, own.parameters());
        }
        // At most one per language and query (the limit).
        QCOMPARE(got,
                 (QStringList{u"moviehash:en"_s, u"moviehash:pb"_s, u"fulltext:en"_s, u"fulltext:pb"_s}));

        provider.cancel();
        QVERIFY(provider.download(*found.value.first()).error.cancelled());
    }

    // A group whose request fails does not lose what the other groups found,
    // and the failure is still reported with it; one that ends the run (the
    // service asks to slow down) stops the groups after it.
    void aFailedGroupKeepsWhatTheOthersFound_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("found");
        QTest::newRow("busy service") << u"http503"_s << int(ServiceError::Unavailable) << 2 << 1;
        QTest::newRow("slow down") << u"http429"_s << 429 << 1 << 0;
    }
    void aFailedGroupKeepsWhatTheOthersFound()
    {
        QFETCH(QString, failure);
        QFETCH(int, code);
        QFETCH(int, requests);
        QFETCH(int, found);
        RestProvider provider(m_emu.url().toString(), u"test-key"_s);
        QVERIFY(provider.signIn({}).ok());
        QVERIFY(m_emu.fail(failure, u"subtitles"_s, 1, {{u"retry_after"_s, 3600}}));
        SubtitleQuery hash;
        hash.movieHash = u"5b8f8f4e41ccb21e"_s;
        hash.movieByteSize = 1000;
        hash.language = u"eng"_s;
        SubtitleQuery name;
        name.kind = SubtitleQuery::Kind::Name;
        name.query = u"Man of Steel"_s;
        name.language = u"eng"_s;
        const auto result = provider.search({hash, name}, 1);
        QCOMPARE(result.error.code, code);
        QCOMPARE(callsTo(u"subtitles"_s).size(), requests);
        QCOMPARE(result.value.size(), found);
        for (const auto &item : result.value)
            QCOMPARE(item->MatchedBy, u"fulltext"_s);
    }

    void stallEndsByTimeoutOrCancel()
    {
        QVERIFY(m_emu.fail(u"stall"_s, u"subtitles"_s, 2, {{u"seconds"_s, 5}}));
        RestClient slow(settings());
        slow.setTransferTimeout(std::chrono::milliseconds(500));
        QCOMPARE(slow.search(hashSearch()).error.code, int(ServiceError::TimedOut));

        RestClient client(settings());
        std::unique_ptr<QThread> canceller(QThread::create([&client] {
            QThread::msleep(300);
            client.cancel();
        }));
        canceller->start();
        QElapsedTimer clock;
        clock.start();
        const auto result = client.search(hashSearch());
        canceller->wait();
        QCOMPARE(result.error.code, int(ServiceError::Cancelled));
        QVERIFY(clock.elapsed() < 4000);
        QCOMPARE(client.fetchSubtitle(1950000001).error.code, int(ServiceError::Cancelled));
    }
};

LUMBRA_TEST_MAIN(tst_RestClient)
#include "tst_RestClient.moc"

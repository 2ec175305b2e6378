#include "service/XmlRpcProvider.h"

#include "service/ClientJournal.h"
#include "service/ProviderSearch.h"
#include "service/SubtitleDownload.h"
#include "service/XmlRpcDownloads.h"
#include "service/XmlRpcTransport.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The service's own verdict in a reply struct: "200 OK", "401 Unauthorized"...
ServiceError statusOf(const Dictionary &reply)
{
    const QString status = reply.value(u"status"_s).toString().trimmed();
    if (status.isEmpty() || status.startsWith(u'2'))
        return {};
    const int code = status.section(u' ', 0, 0).toInt();
    return {code > 0 ? code : int(ServiceError::BadReply), status};
}

// The journal entry written before each request of a search of this kind.
QString journalEntryOf(SubtitleQuery::Kind kind)
{
    switch (kind) {
    case SubtitleQuery::Kind::Hash:
        return u"SEARCH:HASH"_s;
    case SubtitleQuery::Kind::Imdb:
        return u"SEARCH:IMDBID"_s;
    case SubtitleQuery::Kind::Tag:
        return u"SEARCH:TAGS"_s;
    case SubtitleQuery::Kind::Name:
        return u"SEARCH:NAME"_s;
    }
    return {};
}

} // namespace

XmlRpcProvider::XmlRpcProvider(const QString &endpoint)
    : m_ownJournal(std::make_unique<ClientJournal>())
    , m_journal(*m_ownJournal)
    , m_transport(m_journal)
{
    m_transport.setServer(endpoint);
}

XmlRpcProvider::XmlRpcProvider(const QString &endpoint, ClientJournal &journal)
    : m_journal(journal)
    , m_transport(m_journal)
{
    m_transport.setServer(endpoint);
}

// The transport, a member, goes before the journal it still writes to while it aborts.
XmlRpcProvider::~XmlRpcProvider() = default;

ServiceResult<Dictionary> XmlRpcProvider::callForStruct(const XMLRPC::Message &message,
                                                        const XMLRPC::EntryStream &stream)
{
    const ServiceResult<Variant> reply = m_transport.call(message, stream);
    if (!reply.ok())
        return ServiceResult<Dictionary>::failure(reply.error);
    if (!isDictionary(reply.value))
        return ServiceResult<Dictionary>::failure(
            {ServiceError::BadReply,
             u"%1 answered with something other than a struct"_s.arg(message.MethodName)});
    return ServiceResult<Dictionary>::success(reply.value.value<Dictionary>());
}

ServiceError XmlRpcProvider::signIn(const ProviderAccount &account)
{
    m_journal.append(u"VERIFY"_s);
    if (const auto info = m_transport.call(XMLRPC::Message(u"ServerInfo"_s)); !info.ok())
        return info.error;
    XMLRPC::Message login(u"LogIn"_s);
    login.AddParam_String(account.user);
    login.AddParam_String(account.password);
    login.AddParam_String(account.language);
    login.AddParam_String(account.agent);
    m_journal.append(u"LOGIN:SENT"_s);
    const auto reply = callForStruct(login);
    if (!reply.ok())
        return reply.error;
    // A refused account comes with a token all the same, but searching with
    // it only meets refusals: the account is the user's to fix.
    if (ServiceError refused = statusOf(reply.value); !refused.ok()) {
        refused.reason = login.MethodName + u": "_s + refused.reason;
        return refused;
    }
    const QString token = reply.value.value(u"token"_s).toString();
    if (token.isEmpty())
        return {ServiceError::BadReply, u"LogIn: the service sent no login token"_s};
    m_token = token;
    m_journal.append(u"LOGIN:ID"_s);
    return {};
}

ServiceResult<QList<openSubtitleItemPtr>> XmlRpcProvider::search(const QList<SubtitleQuery> &queries,
                                                                 int limit)
{
    using Result = ServiceResult<QList<openSubtitleItemPtr>>;
    // One request per language, in the order the languages first appear.
    QStringList languages;
    for (const SubtitleQuery &q : queries) {
        if (!languages.contains(q.language))
            languages.append(q.language);
    }
    // A failed language does not stop the others; the last failure is reported
    // with what the others found.
    Result result;
    QList<openSubtitleItemPtr> &found = result.value;
    const QString journalEntry = queries.isEmpty() ? QString() : journalEntryOf(queries.first().kind);
    for (const QString &language : std::as_const(languages)) {
        VariantList structs;
        for (const SubtitleQuery &q : queries) {
            if (q.language == language)
                structs.append(QVariant::fromValue(q.parameters()));
        }
        XMLRPC::Message message(u"SearchSubtitles"_s);
        message.AddParam_String(m_token);
        message.AddParam_Array(structs);
        message.AddParam_Dictionary(Dictionary{{u"limit"_s, limit}});
        m_journal.append(journalEntry);
        // The entries become records as they are decoded, so that the
        // reply's tree never holds them all next to their records; they
        // count once the whole reply has been read.
        QList<openSubtitleItemPtr> records;
        XMLRPC::EntryStream stream{u"data"_s, [&records] { records.clear(); },
                                   [&records](Variant &&entry) {
                                       if (isDictionary(entry))
                                           records.append(
                                               std::make_shared<openSubtitleItem>(entry.value<Dictionary>()));
                                   }};
        const auto reply = callForStruct(message, stream);
        if (!reply.ok()) {
            result.error = reply.error;
            // Another language would wait for the same silent service.
            if (reply.error.cancelled() || ProviderSearch::endsTheRun(reply.error))
                break;
            continue;
        }
        const Variant data = reply.value.value(u"data"_s);
        // Nothing found reads as `false` in old replies and `[]` in new ones.
        if (!isArray(data)) {
            if (ServiceError refused = statusOf(reply.value); !refused.ok()) {
                refused.reason = message.MethodName + u": "_s + refused.reason;
                result.error = refused;
            }
            continue;
        }
        found.append(std::move(records));
    }
    return result;
}

ServiceResult<QMap<QString, QList<Dictionary>>> XmlRpcProvider::identify(const QStringList &movieHashes)
{
    using Result = ServiceResult<QMap<QString, QList<Dictionary>>>;
    XMLRPC::Message message(u"CheckMovieHash2"_s);
    message.AddParam_String(m_token);
    VariantList hashes;
    for (const QString &hash : movieHashes)
        hashes.append(hash);
    message.AddParam_Array(hashes);
    m_journal.append(u"SEARCH:HASH2IMDB"_s);
    const auto reply = callForStruct(message);
    if (!reply.ok())
        return Result::failure(reply.error);
    QMap<QString, QList<Dictionary>> films;
    const Variant data = reply.value.value(u"data"_s);
    if (!isDictionary(data))
        return Result::success(films);
    for (const auto &[hash, candidates] : data.value<Dictionary>()) {
        QList<Dictionary> list;
        for (const Variant &c : candidates.toList()) {
            if (isDictionary(c))
                list.append(c.value<Dictionary>());
        }
        films.insert(hash, list);
    }
    return Result::success(films);
}

ServiceResult<QByteArray> XmlRpcProvider::download(const openSubtitleItem &subtitle, const StopCheck &dropped)
{
    if (cancelled())
        return ServiceResult<QByteArray>::failure(ServiceError::cancelledError());
    const auto content = fetchPacked(subtitle.SubDownloadLink,
                                     [this, &dropped] { return cancelled() || (dropped && dropped()); });
    if (cancelled())
        return ServiceResult<QByteArray>::failure(ServiceError::cancelledError());
    return content;
}

void XmlRpcProvider::downloadEach(
    const QList<openSubtitleItem> &subtitles, const std::function<bool(int)> &begin,
    const std::function<void(int, const ServiceResult<QByteArray> &)> &delivered, const StopCheck &dropped)
{
    XmlRpcDownloads::Setup setup;
    setup.endpoint = m_transport.requestUrl();
    setup.token = m_token;
    setup.maxReplyBytes = m_transport.maxReplySize();
    setup.providerCancelled = [this] { return cancelled(); };
    setup.stopped = [this, &dropped] { return cancelled() || (dropped && dropped()); };
    XmlRpcDownloads(std::move(setup), subtitles, begin, delivered).run();
}

ServiceResult<QByteArray> XmlRpcProvider::fetchPacked(const QString &link, const StopCheck &dropped)
{
    return XmlRpcDownloads::unpacked(
        SubtitleDownload::fetch(QUrl(link), SubtitleDownload::kMaxSubtitleBytes, dropped));
}

void XmlRpcProvider::setRequestTimeout(std::chrono::milliseconds timeout)
{
    if (timeout.count() > 0)
        m_transport.setTransferTimeout(timeout);
}

void XmlRpcProvider::cancel()
{
    m_transport.cancel();
}

bool XmlRpcProvider::cancelled() const
{
    return m_transport.cancelled();
}

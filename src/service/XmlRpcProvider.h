#pragma once

#include "service/SubtitleProvider.h"
#include "service/XMLRPCMessage.h"
#include "service/XmlRpcTransport.h"

#include <QString>

#include <memory>

class ClientJournal;

// The subtitle service's XML-RPC interface as a provider, over the XML-RPC
// transport: ServerInfo and LogIn to sign in, SearchSubtitles (one request per
// language), CheckMovieHash2, and the gzip files by DownloadSubtitles or
// behind SubDownloadLink. Each step is written to the journal before its
// request goes, as the windows have always shown it.
class XmlRpcProvider final : public SubtitleProvider {
public:
    // `endpoint` is the full XML-RPC URL (the OSAPIServer preference).
    explicit XmlRpcProvider(const QString &endpoint);
    // Writing to the journal of someone else (a client that shows its
    // conversation), which must outlive the provider.
    XmlRpcProvider(const QString &endpoint, ClientJournal &journal);
    ~XmlRpcProvider() override;

    ServiceError signIn(const ProviderAccount &account) override;
    ServiceResult<QList<openSubtitleItemPtr>> search(const QList<SubtitleQuery> &queries, int limit) override;
    ServiceResult<QMap<QString, QList<Dictionary>>> identify(const QStringList &movieHashes) override;
    ServiceResult<QByteArray> download(const openSubtitleItem &subtitle,
                                       const StopCheck &dropped = {}) override;
    // DownloadSubtitles calls of up to 20 files, a few at a time over one
    // network manager; the links for what they do not bring.
    void downloadEach(const QList<openSubtitleItem> &subtitles, const std::function<bool(int)> &begin,
                      const std::function<void(int, const ServiceResult<QByteArray> &)> &delivered,
                      const StopCheck &dropped = {}) override;

    void setRequestTimeout(std::chrono::milliseconds timeout) override;
    void cancel() override;
    bool cancelled() const override;

    // The transport, for its settings (timeouts in tests), and its journal.
    XmlRpcTransport &transport() { return m_transport; }
    ClientJournal &journal() { return m_journal; }
    // The login token of the last sign-in; empty before one succeeded.
    QString token() const { return m_token; }

    // Fetches a gzip subtitle link and unpacks it, with the size cap and the
    // markup check; for records that carry a link but no provider too.
    static ServiceResult<QByteArray> fetchPacked(const QString &link, const StopCheck &dropped);

private:
    ServiceResult<Dictionary> callForStruct(const XMLRPC::Message &message,
                                            const XMLRPC::EntryStream &stream = {});

    // Declared before the transport, which writes to the journal.
    std::unique_ptr<ClientJournal> m_ownJournal;
    ClientJournal &m_journal;
    XmlRpcTransport m_transport;
    QString m_token;
};

#include "service/XmlRpcDownloads.h"

#include "common/Gzip.h"
#include "service/XMLRPC.h"
#include "service/XMLRPCMessage.h"

#include <QLoggingCategory>

#include <algorithm>
#include <utility>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcFileCalls, "lumbra.download.calls")

namespace {

// A file id as text, whether it came as text or as a number.
QString idText(const Variant &value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString().trimmed();
    bool isNumber = false;
    const qlonglong number = value.toLongLong(&isNumber);
    return isNumber && number > 0 ? QString::number(number) : QString();
}

// The packed file of a reply entry: base64 text (line breaks allowed), or
// bytes the decoder already took out of a base64 element.
std::optional<QByteArray> packedFile(const Variant &data)
{
    if (data.typeId() == QMetaType::QByteArray)
        return data.toByteArray();
    if (data.typeId() != QMetaType::QString)
        return std::nullopt;
    QByteArray text = data.toString().toLatin1();
    text.removeIf([](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; });
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

} // namespace

XmlRpcDownloads::XmlRpcDownloads(Setup setup, const QList<openSubtitleItem> &subtitles,
                                 const std::function<bool(int)> &begin, const Delivered &delivered)
    : m_setup(std::move(setup))
    , m_subtitles(subtitles)
    , m_begin(begin)
    , m_delivered(delivered)
{
}

void XmlRpcDownloads::run()
{
    SubtitleDownload::runTransfers(
        SubtitleDownload::kDownloadsInFlight, [this] { return next(); }, m_setup.stopped);
    // Begun and never requested or never answered: the run was stopped.
    QList<int> left(m_undelivered.cbegin(), m_undelivered.cend());
    std::sort(left.begin(), left.end());
    for (const int index : std::as_const(left))
        deliver(index, ServiceResult<QByteArray>::failure(stoppedError()));
}

std::optional<SubtitleDownload::Transfer> XmlRpcDownloads::next()
{
    if (!m_quotaReason.isEmpty()) {
        settleWithQuotaReason();
        return std::nullopt;
    }
    if (!m_byLink.isEmpty())
        return byLink(m_byLink.takeFirst());
    QList<int> asked;
    while (asked.size() < kFilesPerCall && m_next < m_subtitles.size()) {
        const int index = m_next++;
        if (m_begin && !m_begin(index))
            continue;
        m_undelivered.insert(index);
        if (m_setup.token.isEmpty() || fileIdOf(index).isEmpty())
            m_byLink.append(index);
        else
            asked.append(index);
    }
    if (!asked.isEmpty())
        return call(asked);
    if (!m_byLink.isEmpty())
        return byLink(m_byLink.takeFirst());
    return std::nullopt;
}

SubtitleDownload::Transfer XmlRpcDownloads::call(const QList<int> &entries)
{
    VariantList ids;
    for (const int index : entries)
        ids.append(fileIdOf(index));
    XMLRPC::Message message(u"DownloadSubtitles"_s);
    message.AddParam_String(m_setup.token);
    message.AddParam_Array(ids);
    return {{m_setup.endpoint, message.Serialize().toUtf8(), m_setup.maxReplyBytes},
            [this, entries](const SubtitleDownload::FetchResult &fetched) { callEnded(entries, fetched); }};
}

SubtitleDownload::Transfer XmlRpcDownloads::byLink(int index)
{
    return {{QUrl(m_subtitles[index].SubDownloadLink), {}, SubtitleDownload::kMaxSubtitleBytes},
            [this, index](const SubtitleDownload::FetchResult &fetched) {
                deliver(index, m_setup.providerCancelled()
                                   ? ServiceResult<QByteArray>::failure(ServiceError::cancelledError())
                                   : unpacked(fetched));
            }};
}

void XmlRpcDownloads::callEnded(const QList<int> &entries, const SubtitleDownload::FetchResult &fetched)
{
    if (!fetched.ok && m_setup.stopped()) {
        for (const int index : entries)
            deliver(index, ServiceResult<QByteArray>::failure(stoppedError()));
        return;
    }
    QString whyNone = fetched.error; // why the reply brings no file at all
    bool quotaReached = false;
    const QHash<QString, QByteArray> files =
        fetched.ok ? filesIn(fetched.body, &whyNone, &quotaReached) : QHash<QString, QByteArray>();
    if (quotaReached) {
        // Falling back to the links would spend the same quota again.
        m_quotaReason = u"the service's download quota for today is used up ("_s + whyNone + u')';
        m_byLink.append(entries);
        settleWithQuotaReason();
        return;
    }
    for (const int index : entries) {
        QString why = whyNone;
        const auto file = files.constFind(fileIdOf(index));
        if (file != files.cend()) {
            const auto content =
                file->size() <= SubtitleDownload::kMaxSubtitleBytes
                    ? unpacked({true, *file, {}})
                    : ServiceResult<QByteArray>::failure({ServiceError::BadReply, u"too large"_s});
            if (content.ok()) {
                deliver(index, content);
                continue;
            }
            why = content.error.reason;
        } else if (why.isEmpty()) {
            why = u"not in the reply"_s;
        }
        qCInfo(lcFileCalls) << "file" << fileIdOf(index) << "comes by its link:" << why;
        m_byLink.append(index);
    }
}

void XmlRpcDownloads::deliver(int index, const ServiceResult<QByteArray> &content)
{
    m_undelivered.remove(index);
    m_delivered(index, content);
}

// Every entry begun and not delivered, and every one still to come, fails
// with the quota's reason, without a request.
void XmlRpcDownloads::settleWithQuotaReason()
{
    const auto failure = ServiceResult<QByteArray>::failure({407, m_quotaReason});
    while (m_next < m_subtitles.size()) {
        const int index = m_next++;
        if (m_begin && !m_begin(index))
            continue;
        m_undelivered.insert(index);
        m_byLink.append(index);
    }
    const QList<int> left = std::exchange(m_byLink, {});
    for (const int index : left)
        deliver(index, failure);
}

ServiceError XmlRpcDownloads::stoppedError() const
{
    return m_setup.providerCancelled() ? ServiceError::cancelledError()
                                       : ServiceError{ServiceError::HttpError, u"cancelled"_s};
}

QString XmlRpcDownloads::fileIdOf(int index) const
{
    const int id = m_subtitles[index].IDSubtitleFile;
    return id > 0 ? QString::number(id) : QString();
}

ServiceResult<QByteArray> XmlRpcDownloads::unpacked(const SubtitleDownload::FetchResult &fetched)
{
    using Result = ServiceResult<QByteArray>;
    if (!fetched.ok)
        return Result::failure({ServiceError::HttpError, fetched.error});
    QString why;
    const auto content = Gzip::gunzip(fetched.body, SubtitleDownload::kMaxSubtitleBytes, &why);
    if (!content)
        return Result::failure({ServiceError::BadReply, why});
    if (SubtitleDownload::looksLikeMarkup(*content))
        return Result::failure(
            {ServiceError::BadReply, u"the service sent a web page instead of a subtitle"_s});
    return Result::success(*content);
}

QHash<QString, QByteArray> XmlRpcDownloads::filesIn(const QByteArray &reply, QString *why, bool *quotaReached)
{
    const XMLRPC::ParsedDocument doc = XMLRPC::ParseDocument(reply);
    if (!doc.ok() || doc.isFault || !doc.methodName.isEmpty() || doc.params.isEmpty() ||
        !isDictionary(doc.params.first())) {
        *why = u"the reply is not a DownloadSubtitles answer"_s;
        return {};
    }
    const Dictionary answer = doc.params.first().value<Dictionary>();
    const QString status = answer.value(u"status"_s).toString().trimmed();
    if (!status.startsWith("200"_L1)) {
        if (quotaReached)
            *quotaReached = status.startsWith("407"_L1);
        *why = status.isEmpty() ? u"the reply has no status"_s : status.left(200);
        return {};
    }
    const Variant data = answer.value(u"data"_s);
    if (!isArray(data)) {
        *why = u"no files in the reply"_s;
        return {};
    }
    QHash<QString, QByteArray> files;
    for (const Variant &entry : data.toList()) {
        if (!isDictionary(entry))
            continue;
        const Dictionary file = entry.value<Dictionary>();
        const QString id = idText(file.value(u"idsubtitlefile"_s));
        if (id.isEmpty() || files.contains(id))
            continue;
        if (auto packed = packedFile(file.value(u"data"_s)))
            files.insert(id, *packed);
    }
    return files;
}

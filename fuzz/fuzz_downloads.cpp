// What a download brings before anything is placed: the file list of a
// DownloadSubtitles reply, the check that makes a body a subtitle (unpacking
// by magic bytes under the size cap), and the headers read on the way
// (Retry-After, a sign-in token). Whatever comes in, a body that passes is
// within the cap and never empty, and a wait is never negative.
#include "FuzzSupport.h"

#include "service/HttpRules.h"
#include "service/SubtitleDownload.h"
#include "service/XmlRpcDownloads.h"

#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);

    QString why;
    bool quotaReached = false;
    const QHash<QString, QByteArray> files = XmlRpcDownloads::filesIn(input, &why, &quotaReached);
    if (!files.isEmpty() && !why.isEmpty())
        std::abort(); // files come only with a reply that was read

    for (const QString &format : {u"srt"_s, u"sub"_s, u"ass"_s, u"txt"_s}) {
        QString refusal;
        const std::optional<QByteArray> ready = SubtitleDownload::readyContent(input, format, &refusal);
        if (ready &&
            (ready->isEmpty() || ready->size() > SubtitleDownload::kMaxSubtitleBytes || !refusal.isEmpty()))
            std::abort();
        if (!ready && refusal.isEmpty())
            std::abort();
    }

    const QByteArray header = input.left(200);
    if (const auto wait = HttpRules::retryAfter(header); wait && wait->count() < 0)
        std::abort();
    if (HttpRules::isTokenText(header) && (header.contains('\r') || header.contains('\n')))
        std::abort();
    return 0;
}

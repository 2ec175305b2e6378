// A service reply, from its bytes through the result records, the merge and
// the best choice, as a search reply travels.
#include "FuzzSupport.h"

#include "common/NumberRange.h"
#include "service/BestChoice.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "service/XMLRPC.h"

using namespace Qt::Literals::StringLiterals;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const XMLRPC::ParsedDocument doc = XMLRPC::ParseDocument(fuzz::bytes(data, size));
    if (!doc.ok())
        return 0;
    if (doc.isFault) {
        const VariantList members = doc.fault.value<Dictionary>().values();
        if (!members.isEmpty())
            (void)clampedInteger<int>(members.first().toDouble());
    }
    static const auto film = fuzz::video(u"Film.2010.mkv"_s, u"1111111111111111"_s);
    static const auto episode = fuzz::video(u"Show.S01E02.avi"_s, u"2222222222222222"_s);
    film->setSubtitleResults({});
    episode->setSubtitleResults({});
    film->setImdbs({});
    episode->setImdbs({});

    JobRecords records;
    records.movieFiles = {film, episode};
    const QStringList languages{u"en"_s, u"es"_s};
    for (const Variant &param : doc.params) {
        const Dictionary reply = param.value<Dictionary>();
        const Variant resultData = reply.value(u"data"_s);
        for (const Variant &entry : resultData.toList()) {
            if (isDictionary(entry))
                records.addThisResult(std::make_shared<openSubtitleItem>(entry.value<Dictionary>()));
        }
        // CheckMovieHash2: candidate lists by movie hash.
        for (const Dictionary::Entry &byHash : resultData.value<Dictionary>()) {
            const VariantList candidates = byHash.value.toList();
            for (const Variant &candidate : candidates)
                records.addThisResult(candidate.value<Dictionary>(), candidates);
        }
    }
    for (const auto &v : records.movieFiles) {
        const auto results = v->subtitleResults();
        BestChoice::mark(results, languages, BestChoice::Wishes{});
        for (const auto &result : results)
            (void)result->Cellstring();
    }
    return 0;
}

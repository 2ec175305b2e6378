// Container headers of videos, read by the stream probe under its limits.
#include "FuzzSupport.h"

#include "media/StreamProbe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const VideoStreams found =
        StreamProbe::probeBytes(fuzz::bytes(data, size), std::chrono::milliseconds(2000));
    if (!found.failure.isEmpty() && !found.streams.isEmpty())
        fuzz::finding("a header that could not be read still lists streams");
    if (found.streams.size() > 128)
        fuzz::finding("more streams than the cap");
    for (const EmbeddedStream &s : found.streams) {
        if (s.languageTag.size() > 35 || s.title.size() > 200)
            fuzz::finding("a tag or title past its cap");
    }
    return 0;
}

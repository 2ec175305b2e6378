// Episode data (show, season, episode) read from a file name.
#include "FuzzSupport.h"

#include "media/VideoMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const VideoMetadata metadata(QString::fromUtf8(fuzz::bytes(data, size)));
    (void)metadata.isTVShow;
    return 0;
}

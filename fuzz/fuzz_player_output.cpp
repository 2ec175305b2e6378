// The player's console output, in chunks of any size. The first byte of the
// input picks the chunk size.
#include "FuzzSupport.h"

#include "preview/PlayerOutputReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype chunk = 1 + data[0] % 64;
    const QByteArray output = fuzz::bytes(data + 1, size - 1);
    PlayerOutputReader reader;
    for (qsizetype i = 0; i < output.size(); i += chunk)
        (void)reader.feed(output.mid(i, chunk));
    (void)reader.finish();
    return 0;
}

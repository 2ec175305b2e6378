// The text-encoding guess and the decoding that follows it.
#include "FuzzSupport.h"

#include "media/TextEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::bytes(data, size);
    bool swapped = false;
    (void)GuessEncoding(bytes, swapped);
    (void)decodeText(bytes);
    return 0;
}

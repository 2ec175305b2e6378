// gzip streams from the service, unpacked under a size cap.
#include "FuzzSupport.h"

#include "common/Gzip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString error;
    const std::optional<QByteArray> unpacked = Gzip::gunzip(fuzz::bytes(data, size), 1 << 20, &error);
    if (unpacked && unpacked->size() > (1 << 20))
        fuzz::finding("gunzip went past its cap");
    return 0;
}

// A subtitle file read for the preview, as SRT and as frame-based SUB, through
// the encoding guess.
#include "FuzzSupport.h"

#include "preview/subClass.h"

using namespace Qt::Literals::StringLiterals;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content = fuzz::bytes(data, size);
    for (const QString &name : {u"cues.srt"_s, u"cues.sub"_s}) {
        const subClass subtitles(fuzz::writeFile(name, content), 23.976);
        (void)subtitles.duration();
        (void)subtitles.count();
    }
    return 0;
}

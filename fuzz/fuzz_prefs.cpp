// The preference file, read at every start: any content gives a store (the
// defaults, or what was read before the damage, when the file is unreadable)
// that writes back out.
#include "FuzzSupport.h"

#include "prefs/PlistCodec.h"
#include "prefs/XPrefs.h"

#include <QDir>

#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    XPrefs::setFilePathForTesting(fuzz::writeFile(u"prefs.plist"_s, fuzz::bytes(data, size)));
    for (const QString &key : XPrefs::Keys())
        (void)XPrefs::Value(key);
    (void)XPrefs::ToString();
    // A damaged file is set aside beside itself; the next input starts clean.
    QDir folder(fuzz::tempDir().path());
    for (const QString &aside : folder.entryList({u"prefs.plist.damaged-*"_s}, QDir::Files))
        folder.remove(aside);

    // What a damaged file gives back is only what was read whole before the damage.
    const PlistCodec::Decoded decoded = PlistCodec::decode(fuzz::bytes(data, size));
    if (!decoded.ok() && !decoded.values.isEmpty())
        std::abort();
    if (decoded.ok() && !decoded.recovered.isEmpty())
        std::abort();
    return 0;
}

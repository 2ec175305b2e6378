// The preference file, read at every start: any content gives a store (the
// defaults when the file is unreadable) that writes back out.
#include "FuzzSupport.h"

#include "prefs/XPrefs.h"

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
    return 0;
}

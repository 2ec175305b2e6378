#include "common/AllocatorSetup.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace AllocatorSetup {

void apply()
{
#if defined(__GLIBC__) && defined(M_TOP_PAD)
    // The room a new arena starts with and a growing heap asks for beyond
    // what it needs, and the free room an arena keeps rather than handing it
    // back at once: enough for the records of a library of ten thousand videos.
    constexpr int kRoom = 16 * 1024 * 1024;
    mallopt(M_TOP_PAD, kRoom);
#endif
}

} // namespace AllocatorSetup

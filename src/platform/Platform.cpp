#include "platform/Platform.h"

#include "platform/LinuxPlatform.h"

namespace {
std::unique_ptr<Platform> &current()
{
    static std::unique_ptr<Platform> instance = std::make_unique<LinuxPlatform>();
    return instance;
}
} // namespace

Platform &platform()
{
    return *current();
}

void installPlatform(std::unique_ptr<Platform> replacement)
{
    current() = replacement ? std::move(replacement) : std::make_unique<LinuxPlatform>();
}

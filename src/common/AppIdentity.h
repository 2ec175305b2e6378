#pragma once

#include <QLatin1StringView>
#include <QString>

// The names that identify Lumbra on disk. Everything that names a file or
// folder after the application (the preference file, temporary folders)
// takes them from here.
namespace AppIdentity {

// Reverse-domain identifier: the preference file is "<id>.plist".
inline constexpr QLatin1StringView ReverseDomainId{"org.lumbra.Lumbra2"};

// Name of the folder under the user's configuration folder that holds the
// preferences.
inline constexpr QLatin1StringView AppName{"Lumbra2_debug"};

} // namespace AppIdentity

// The application's name as its folders are called: "Lumbra2_debug".
inline QString AppName()
{
    return AppIdentity::AppName;
}

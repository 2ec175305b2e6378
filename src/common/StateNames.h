#pragma once

#include <QLatin1StringView>
#include <QString>

#include <optional>
#include <span>

// A workflow state and the name the windows and logs show for it.
template<typename State> struct StateName {
    State state;
    QLatin1StringView name;
};

template<typename State> QString nameOfState(std::span<const StateName<State>> table, State state)
{
    for (const StateName<State> &entry : table) {
        if (entry.state == state)
            return entry.name;
    }
    return QString();
}

// Names compare without regard to letter case, as stored states always did.
template<typename State>
std::optional<State> stateOfName(std::span<const StateName<State>> table, const QString &name)
{
    for (const StateName<State> &entry : table) {
        if (name.compare(entry.name, Qt::CaseInsensitive) == 0)
            return entry.state;
    }
    return std::nullopt;
}

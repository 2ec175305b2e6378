#pragma once

#include <QLatin1StringView>
#include <QString>

#include <optional>
#include <span>

// Whether work goes on in a state: the windows turn the busy wheel and hold
// the main button while it does. A search that failed and waits for the user
// rests, though its name ends in "ing".
enum class StateWork : bool { Rests, Busy };

// A workflow state, the name the windows and logs show for it, and whether
// work goes on in it.
template<typename State> struct StateName {
    State state;
    QLatin1StringView name;
    StateWork work = StateWork::Rests;
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

template<typename State> bool isBusyState(std::span<const StateName<State>> table, State state)
{
    for (const StateName<State> &entry : table) {
        if (entry.state == state)
            return entry.work == StateWork::Busy;
    }
    return false;
}

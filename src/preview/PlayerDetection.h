#pragma once

#include <QString>

// Which command-line spelling a player understands: mplayer2 takes
// "--option=value", MPlayer 1.x only "-option value".
enum class PlayerDialect { MPlayer2, MPlayer };

// A player found on this system.
struct PlayerInfo {
    QString path; // absolute path of the executable; empty when none was found
    PlayerDialect dialect = PlayerDialect::MPlayer;

    bool isValid() const { return !path.isEmpty(); }
};

// Finds the player to use, in this order: the bundled one,
// "Helper_Apps/mplayer2/mplayer2" under `appDir` (the folder of the running
// executable; "Helper_Apps" matched without regard to case), then "mplayer2"
// on PATH, then "mplayer" on PATH. Returns an invalid PlayerInfo when none
// is there.
PlayerInfo findPlayer(const QString &appDir);

// True when the bundled player's folder "Helper_Apps/mplayer2" exists under
// `appDir`.
bool hasBundledPlayer(const QString &appDir);

// True when a player is installed system-wide: "mplayer2" or "mplayer" on PATH.
bool hasSystemPlayer();

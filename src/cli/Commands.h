#pragma once

#include <QString>
#include <QStringList>

// One subcommand of lumbra-cli. Each command lives in its own file and is
// listed in main.cpp. `run` gets the arguments after the command name and
// returns the exit status.
struct CliCommand {
    QString name;
    QString synopsis;
    QString summary;
    int (*run)(const QStringList &args);
};

// Exit statuses shared by the commands.
enum CliExit { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// Console output that keeps non-ASCII names intact whatever the locale.
void printOut(const QString &line);
void printErr(const QString &line);

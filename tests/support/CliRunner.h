#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>

// How one run of lumbra-cli ended. A crash or a run that did not end in time
// gives exitCode -1; its stderr is printed to the test log as well, so the
// tool's own report (a sanitizer's too) shows beside the failed check.
struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;

    // The non-empty lines of stdout.
    QStringList lines() const;
};

struct CliSetup {
    QString workingDirectory;
    // Added to (or replacing) the test's own environment.
    QProcessEnvironment environment;
    std::chrono::milliseconds timeout{120'000};
};

// Runs the tool named by LUMBRA_CLI with the given arguments, to its end.
CliRun runCli(const QStringList &args, const CliSetup &setup = {});

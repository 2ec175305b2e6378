#include "CliRunner.h"

#include <QProcess>
#include <QtDebug>

using namespace Qt::Literals::StringLiterals;

QStringList CliRun::lines() const
{
    return out.split(u'\n', Qt::SkipEmptyParts);
}

CliRun runCli(const QStringList &args, const CliSetup &setup)
{
    QProcess cli;
    if (!setup.workingDirectory.isEmpty())
        cli.setWorkingDirectory(setup.workingDirectory);
    if (!setup.environment.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(setup.environment);
        cli.setProcessEnvironment(environment);
    }
    cli.start(qEnvironmentVariable("LUMBRA_CLI"), args);
    CliRun run;
    const bool ended = cli.waitForFinished(int(setup.timeout.count()));
    if (!ended) {
        cli.kill();
        cli.waitForFinished();
    }
    run.out = QString::fromUtf8(cli.readAllStandardOutput());
    run.err = QString::fromUtf8(cli.readAllStandardError());
    if (ended && cli.exitStatus() == QProcess::NormalExit) {
        run.exitCode = cli.exitCode();
    } else {
        qWarning().noquote() << "lumbra-cli" << args.join(u' ')
                             << (ended ? u"crashed (signal %1):"_s.arg(cli.exitCode())
                                       : u"did not end in time:"_s)
                             << '\n'
                             << run.err;
    }
    return run;
}

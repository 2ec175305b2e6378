#include "preview/ProcessPlayerShell.h"

#include <QLoggingCategory>
#include <QProcess>

Q_DECLARE_LOGGING_CATEGORY(lcPlayer)

ProcessPlayerShell::ProcessPlayerShell(QObject *parent)
    : PlayerShell(parent)
    , m_process(new QProcess(this))
{
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process, &QProcess::readyRead, this, [this] {
        const QByteArray chunk = m_process->readAll();
        if (!chunk.isEmpty())
            emit output(chunk);
    });
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        const QByteArray rest = m_process->readAll();
        if (!rest.isEmpty())
            emit output(rest);
        qCDebug(lcPlayer) << "player ended" << exitCode << status;
        emit finished();
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit failedToStart(m_process->errorString());
    });
}

ProcessPlayerShell::~ProcessPlayerShell()
{
    // The run belongs to its owner: it never outlives it.
    if (m_process->state() != QProcess::NotRunning) {
        m_process->blockSignals(true);
        m_process->kill();
        m_process->waitForFinished(3000);
    }
}

void ProcessPlayerShell::start(const QString &program, const QStringList &arguments)
{
    qCDebug(lcPlayer) << "starting" << program << arguments;
    m_process->start(program, arguments);
}

bool ProcessPlayerShell::isRunning() const
{
    return m_process->state() == QProcess::Running;
}

void ProcessPlayerShell::writeLine(const QByteArray &line)
{
    if (isRunning())
        m_process->write(line + '\n');
}

void ProcessPlayerShell::stop()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(1000))
        m_process->kill();
}

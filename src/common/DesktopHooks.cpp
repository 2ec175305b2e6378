#include "common/DesktopHooks.h"

#include <QFileInfo>
#include <QSysInfo>

#include <cstdio>

namespace {
std::unique_ptr<DesktopHooks> &installed()
{
    static std::unique_ptr<DesktopHooks> hooks = std::make_unique<DesktopHooks>();
    return hooks;
}
} // namespace

void DesktopHooks::showError(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

int DesktopHooks::showMessageDialog(QObject *, const QString &, const QString &, const QString &,
                                    const QString &, const QString &message, const QString &explanation)
{
    showError(explanation.isEmpty() ? message : message + u'\n' + explanation);
    return 0;
}

void DesktopHooks::revealFile(const QString &) {}

QString DesktopHooks::osVersion()
{
    return QSysInfo::productVersion();
}

DesktopHooks &desktopHooks()
{
    return *installed();
}

void installDesktopHooks(std::unique_ptr<DesktopHooks> hooks)
{
    if (hooks)
        installed() = std::move(hooks);
}

int ShowMessageDialog(QObject *window, const QString &kind, const QString &actionCaption,
                      const QString &cancelCaption, const QString &alternateCaption, const QString &message,
                      const QString &explanation)
{
    return desktopHooks().showMessageDialog(window, kind, actionCaption, cancelCaption, alternateCaption,
                                            message, explanation);
}

void RevealDT(const QFileInfo &file)
{
    if (file.exists())
        desktopHooks().revealFile(file.absoluteFilePath());
}

QString OSXVersion()
{
    static const QString version = desktopHooks().osVersion();
    return version;
}

#pragma once

#include "common/DesktopHooks.h"

// The hooks the desktop application gives the core: messages in message
// boxes on the main thread, dialogs and the file manager through the platform.
class GuiDesktopHooks final : public DesktopHooks {
public:
    // Queued to the main thread and shown there without waiting for the
    // user, so a worker that reports an error carries on at once.
    void showError(const QString &text) override;

    // Runs on the main thread; a worker that asks waits for the answer.
    int showMessageDialog(QObject *window, const QString &kind, const QString &actionCaption,
                          const QString &cancelCaption, const QString &alternateCaption,
                          const QString &message, const QString &explanation) override;

    void revealFile(const QString &path) override;
    QString osVersion() override;

    // An application-modal message box that does not block the caller.
    static void showErrorBox(const QString &text);
};

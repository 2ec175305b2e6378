#pragma once

#include "platform/Platform.h"

// The Linux desktop: Qt's clipboard, screens and desktop services, and the
// freedesktop.org file-manager interface on the session bus.
class LinuxPlatform final : public Platform {
public:
    QStringList clipboardFiles() override;
    bool openUrl(const QUrl &url) override;
    void revealFile(const QString &path) override;
    QList<ScreenArea> screens() override;
    void setDocumentEdited(QWidget *window, bool edited) override;
    void bringToFront(QWidget *window) override;
    QString osVersion() override;
    int showMessageDialog(QWidget *window, const MessageDialogRequest &request) override;
};

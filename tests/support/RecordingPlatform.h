#pragma once

#include "platform/Platform.h"

#include <QList>
#include <QThread>
#include <QUrl>

// A desktop for window tests: one 1280×800 screen with a panel along the top,
// a clipboard the test fills, and a record of what the program asked of the
// desktop. Message dialogs are answered with `answer`.
//
//     auto desktop = std::make_unique<RecordingPlatform>();
//     RecordingPlatform *seen = desktop.get();
//     installPlatform(std::move(desktop));
class RecordingPlatform final : public Platform {
public:
    // Set by the test.
    QStringList clipboard;
    QList<ScreenArea> screenAreas{{QRect(0, 0, 1280, 800), QRect(0, 27, 1280, 773)}};
    int answer = NoButton;

    // What the program asked for.
    QList<QUrl> opened;
    QStringList revealed;
    QList<MessageDialogRequest> dialogs;
    QThread *dialogThread = nullptr;
    bool editedMark = false;
    int broughtToFront = 0;

    QStringList dialogMessages() const
    {
        QStringList messages;
        for (const MessageDialogRequest &request : dialogs)
            messages.append(request.message);
        return messages;
    }

    QStringList clipboardFiles() override { return clipboard; }
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return true;
    }
    void revealFile(const QString &path) override { revealed.append(path); }
    QList<ScreenArea> screens() override { return screenAreas; }
    void setDocumentEdited(QWidget *, bool edited) override { editedMark = edited; }
    void bringToFront(QWidget *) override { ++broughtToFront; }
    QString osVersion() override { return QStringLiteral("12"); }
    int showMessageDialog(QWidget *, const MessageDialogRequest &request) override
    {
        dialogThread = QThread::currentThread();
        dialogs.append(request);
        return answer;
    }
};

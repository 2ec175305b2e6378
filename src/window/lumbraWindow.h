#pragma once

#include "window/MenuCommandTarget.h"

#include <QWidget>

// The base of the download window. It opens where it was when it last
// closed (outer bounds fitted to the screen), saves that when it closes,
// shrinks to its minimum size on "zoomWindow" and closes on "FileClose".
// All download windows share the key prefix "lumbraWindow"; the last one
// closed wins.
//
// A window is created hidden and opened by its first show(): it is placed
// and titled first, then the derived window's Open() runs. Windows are
// deleted when they close.
class lumbraWindow : public QWidget, public MenuCommandTarget {
    Q_OBJECT
public:
    explicit lumbraWindow(QWidget *parent = nullptr);

    // The prefix of the geometry keys; set when the window opens.
    QString kWindowName() const { return m_windowName; }

    void PrepareThisWindow();
    void LeaveThisWindow();
    void ZoomWindowMethod();

    bool menuCommand(const QString &name) override;

    void setVisible(bool visible) override;

protected:
    // The window's own title (after "<display name> - ").
    virtual QString windowTitleText() const = 0;
    // The derived window's open handling; the window is placed and titled.
    virtual void Open() {}
    // Asked before the window closes; true keeps it open.
    virtual bool CancelClose() { return false; }

    void closeEvent(QCloseEvent *event) override;

private:
    QString m_windowName;
    bool m_opened = false;
};

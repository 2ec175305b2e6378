#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

// The small "Saving Preferences..." window, shown while building the
// preference file's text takes longer than XPrefs::SaveAlertWait.
class XPrefsSaving final : public QWidget {
    Q_OBJECT
public:
    explicit XPrefsSaving(QWidget *parent = nullptr);

    // Lets the preference store show and close the window. Saves run on the
    // main thread or on a worker; either way the window lives on the main
    // thread.
    static void installHooks();

    // The window while it is shown, else null.
    static XPrefsSaving *current();

    QLabel *label() const { return m_label; }
    QProgressBar *progressBar() const { return m_bar; }

private:
    static void showWindow();
    static void closeWindow();

    QLabel *m_label;
    QProgressBar *m_bar;
};

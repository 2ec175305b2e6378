#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <functional>

// Notices when the preference file changes on disk (`lumbra-cli prefs --set`,
// an editor) and reads it again, so the running application works with the
// new values and its next save does not write the old ones back. While the
// user has edits of their own open (the preferences window) the reload waits
// until they are closed: the file is read again then.
class PrefsFileWatcher final : public QObject {
    Q_OBJECT
public:
    // Watches `path`; `editing` tells whether an edit is open right now.
    PrefsFileWatcher(const QString &path, std::function<bool()> editing, QObject *parent = nullptr);

    // The open edit was closed: reads the file if it changed meanwhile.
    void editingEnded();
    bool reloadPending() const { return m_pending; }

Q_SIGNALS:
    // The preferences were read again from the file.
    void reloaded();

private:
    void changed();
    void reload();
    void watch();

    QString m_path;
    std::function<bool()> m_editing;
    QFileSystemWatcher m_watcher;
    // Writers may replace the file in several steps; read once they are done.
    QTimer m_settle;
    bool m_pending = false;
};

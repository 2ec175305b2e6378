#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

// Notices when the preference file changes on disk (`lumbra-cli prefs --set`,
// an editor) and reads it again, so the running application works with the
// new values and its next save does not write the old ones back. An open
// preferences window hears of it and keeps the user's own edits.
class PrefsFileWatcher final : public QObject {
    Q_OBJECT
public:
    explicit PrefsFileWatcher(const QString &path, QObject *parent = nullptr);

Q_SIGNALS:
    // The preferences were read again from the file.
    void reloaded();

private:
    void changed();
    void reload();
    void watch();

    QString m_path;
    QFileSystemWatcher m_watcher;
    // Writers may replace the file in several steps; read once they are done.
    QTimer m_settle;
};

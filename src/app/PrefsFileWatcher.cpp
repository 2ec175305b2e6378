#include "app/PrefsFileWatcher.h"

#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"

#include <QFileInfo>

PrefsFileWatcher::PrefsFileWatcher(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(200);
    connect(&m_settle, &QTimer::timeout, this, &PrefsFileWatcher::changed);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    // A file saved by replacing it is a new file: the folder sees it come.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle, qOverload<>(&QTimer::start));
    watch();
}

void PrefsFileWatcher::watch()
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!m_watcher.directories().contains(folder))
        m_watcher.addPath(folder);
    if (QFileInfo::exists(m_path) && !m_watcher.files().contains(m_path))
        m_watcher.addPath(m_path);
}

void PrefsFileWatcher::changed()
{
    watch();
    reload();
}

void PrefsFileWatcher::reload()
{
    if (!QFileInfo::exists(m_path))
        return;
    XPrefs::Load();
    myPrefs::loadAllPrefs();
    Q_EMIT reloaded();
}

#include "TestMain.h"

#include "platform/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QVariantMap>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

// A notification service on a bus of the test's own: it notes what it is asked
// to show and answers with a fixed id.
class NotificationService final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    static constexpr uint Id = 7;
    struct Shown {
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };
    QList<Shown> shown;

public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int)
    {
        shown.append({summary, body, actions, hints});
        return Id;
    }
};

// What a task bar hears from the launcher entry.
class LauncherListener final : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> updates;
    QStringList entries;

public Q_SLOTS:
    void Update(const QString &entry, const QVariantMap &properties)
    {
        entries.append(entry);
        updates.append(properties);
    }
};

class tst_DesktopNotifier final : public QObject {
    Q_OBJECT

    QProcess m_daemon;
    QString m_address;
    NotificationService m_service;
    LauncherListener m_launcher;

    QDBusConnection serviceSide() const { return QDBusConnection(u"service"_s); }

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty()) {
            QVERIFY2(qgetenv("CI") != "true", "dbus-daemon is missing (package dbus)");
            QSKIP("dbus-daemon is missing (package dbus)");
        }
        m_daemon.start(u"dbus-daemon"_s,
                       {u"--session"_s, u"--nofork"_s, u"--nopidfile"_s, u"--print-address=1"_s});
        QVERIFY(m_daemon.waitForStarted());
        QTRY_VERIFY(m_daemon.canReadLine());
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QDBusConnection service = QDBusConnection::connectToBus(m_address, u"service"_s);
        QVERIFY(service.isConnected());
        QVERIFY(service.registerService(u"org.freedesktop.Notifications"_s));
        QVERIFY(service.registerObject(u"/org/freedesktop/Notifications"_s, &m_service,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.connect(QString(), QString(), u"com.canonical.Unity.LauncherEntry"_s, u"Update"_s,
                                &m_launcher, SLOT(Update(QString, QVariantMap))));
        DesktopNotifier::instance().setConnectionForTesting(
            QDBusConnection::connectToBus(m_address, u"app"_s));
    }

    void cleanupTestCase()
    {
        DesktopNotifier::instance().setConnectionForTesting(QDBusConnection::sessionBus());
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    // The summary reaches the service with an action that brings the hidden window back.
    void notifiesAndTheActionShowsTheWindow()
    {
        QWidget window;
        QVERIFY(DesktopNotifier::instance().notifyRunEnded(&window, u"Subtitles downloaded"_s,
                                                           u"12 subtitles placed, 2 not placed"_s));
        QTRY_COMPARE(m_service.shown.size(), 1);
        const NotificationService::Shown &shown = m_service.shown.first();
        QCOMPARE(shown.summary, u"Subtitles downloaded"_s);
        QCOMPARE(shown.body, u"12 subtitles placed, 2 not placed"_s);
        QCOMPARE(shown.actions.value(0), u"default"_s);
        QCOMPARE(shown.hints.value(u"desktop-entry"_s).toString(), u"lumbra"_s);

        // Another notification's action leaves the window alone; ours shows it.
        for (uint id : {NotificationService::Id + 1, NotificationService::Id}) {
            QDBusMessage action = QDBusMessage::createSignal(
                u"/org/freedesktop/Notifications"_s, u"org.freedesktop.Notifications"_s, u"ActionInvoked"_s);
            action << id << u"default"_s;
            QVERIFY(serviceSide().send(action));
            if (id != NotificationService::Id) {
                QTest::qWait(200);
                QVERIFY(!window.isVisible());
            }
        }
        QTRY_VERIFY(window.isVisible());
    }

    // The task bar sees the progress of the entry of lumbra.desktop, and sees it go.
    void launcherProgressIsShownAndCleared()
    {
        DesktopNotifier &notifier = DesktopNotifier::instance();
        notifier.setProgress(0.25);
        notifier.setProgress(0.251); // the same per cent: not sent again
        notifier.setProgress(1.5);
        notifier.clearProgress();
        QTRY_COMPARE(m_launcher.updates.size(), 3);
        QCOMPARE(m_launcher.entries.value(0), u"application://lumbra.desktop"_s);
        QCOMPARE(m_launcher.updates.at(0).value(u"progress"_s).toDouble(), 0.25);
        QCOMPARE(m_launcher.updates.at(1).value(u"progress"_s).toDouble(), 1.0);
        QCOMPARE(m_launcher.updates.at(2).value(u"progress-visible"_s).toBool(), false);
    }

    // Without a session bus nothing is sent and nothing fails.
    void withoutABusNothingHappens()
    {
        DesktopNotifier &notifier = DesktopNotifier::instance();
        notifier.setConnectionForTesting(
            QDBusConnection::connectToBus(u"unix:path=/nonexistent"_s, u"none"_s));
        QWidget window;
        QVERIFY(!notifier.notifyRunEnded(&window, u"Subtitles downloaded"_s, u"1 subtitle placed"_s));
        notifier.setProgress(0.5);
        notifier.clearProgress();
        notifier.setConnectionForTesting(QDBusConnection::connectToBus(m_address, u"app"_s));
    }
};

LUMBRA_TEST_MAIN(tst_DesktopNotifier)
#include "tst_DesktopNotifier.moc"

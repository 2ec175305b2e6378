#include "RecordingPlatform.h"
#include "TestMain.h"

#include "platform/LinuxPlatform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// Revealing a file where no file manager answers on the session bus: the
// folder is opened with xdg-open instead, and when that fails as well the
// user is told where the file is.
class tst_RevealFile final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    RecordingPlatform *m_recorder = nullptr;

    // An xdg-open stand-in that notes its argument and ends with `status`.
    void fakeOpener(int status)
    {
        const QString script = m_dir.filePath(u"bin/xdg-open"_s);
        QDir().mkpath(m_dir.filePath(u"bin"_s));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$(dirname \"$0\")/opened\"\nexit " +
                   QByteArray::number(status) + "\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QFile::remove(m_dir.filePath(u"bin/opened"_s));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // No session bus, so no file manager to ask; only our xdg-open on the path.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_dir.filePath(u"no-bus"_s)));
        qputenv("PATH", QFile::encodeName(m_dir.filePath(u"bin"_s)) + ":/usr/bin:/bin");
        auto recorder = std::make_unique<RecordingPlatform>();
        m_recorder = recorder.get();
        installPlatform(std::move(recorder));
        QDir().mkpath(m_dir.filePath(u"Films"_s));
        QFile video(m_dir.filePath(u"Films/Movie.mkv"_s));
        QVERIFY(video.open(QIODevice::WriteOnly));
    }

    void fallsBackToTheFolderAndSaysWhenThatFails_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("told");
        QTest::newRow("folder opened") << 0 << false;
        QTest::newRow("nothing opens it") << 3 << true;
    }
    void fallsBackToTheFolderAndSaysWhenThatFails()
    {
        QFETCH(int, status);
        QFETCH(bool, told);
        fakeOpener(status);
        m_recorder->dialogs.clear();
        LinuxPlatform().revealFile(m_dir.filePath(u"Films/Movie.mkv"_s));
        QTRY_VERIFY(QFile::exists(m_dir.filePath(u"bin/opened"_s)));
        QFile opened(m_dir.filePath(u"bin/opened"_s));
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(QFile::decodeName(opened.readAll()), m_dir.filePath(u"Films"_s));
        if (!told) {
            QTest::qWait(300);
            QVERIFY(m_recorder->dialogs.isEmpty());
            return;
        }
        QTRY_COMPARE(m_recorder->dialogs.size(), 1);
        QVERIFY2(m_recorder->dialogs.first().message.contains(u"Movie.mkv"_s),
                 qPrintable(m_recorder->dialogs.first().message));
        QVERIFY(m_recorder->dialogs.first().explanation.contains(m_dir.filePath(u"Films"_s)));
    }
};

LUMBRA_TEST_MAIN(tst_RevealFile)
#include "tst_RevealFile.moc"

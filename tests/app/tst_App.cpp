#include "FakeWorkflowWindow.h"
#include "RecordingPlatform.h"
#include "ShowCounter.h"
#include "TestMain.h"

#include "app/App.h"
#include "app/homeWindow.h"
#include "app/XPrefsSaving.h"
#include "common/DesktopHooks.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"
#include "window/lumbraWindow.h"
#include "window/WindowOrder.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace {
// The smallest download window: the base class with a title.
class DownloadWindow final : public lumbraWindow, public WorkflowWindow {
public:
    DownloadWindow() { setMinimumSize(760, 470); }
    WorkflowKind workflowKind() const override { return WorkflowKind::Download; }
    QWidget *asWidget() override { return this; }
    void queueDrop(const DragItem &) override {}
    void AAA_BuildFileList(const QString &item) override { built.append(item); }
    void AAA_BuildFileList(const QStringList &) override {}
    void setWindowMode(const QString &) override {}
    bool refuseClose = false;
    int opened = 0;
    QStringList built;

protected:
    QString windowTitleText() const override { return u"Get Subtitles"_s; }
    void Open() override
    {
        ++opened;
        openedTitle = windowTitle();
    }
    bool CancelClose() override { return refuseClose; }

public:
    QString openedTitle;
};

class Thrower final : public QObject {
protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User)
            throw std::out_of_range("");
        return QObject::event(e);
    }
};

QList<QMessageBox *> messageBoxes()
{
    QList<QMessageBox *> boxes;
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            boxes.append(box);
    }
    return boxes;
}
} // namespace

class tst_App final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void startUpShowsTheHomeWindow();
    void displayName_data();
    void displayName();
    void unhandledErrorIsReportedAndTheProgramGoesOn();
    void errorFromAWorkerDoesNotWait();
    void dialogFromAWorkerRunsOnTheMainThread();
    void playerTestsCacheOnlyAPositiveAnswer();
    void menuCommands();
    void documentsGoToOneDownloadWindow();
    void downloadWindowPlacement();
    void savingWindowDuringASlowSave();

private:
    App *app() { return App::instance(); }
    QTemporaryDir m_dir;
    RecordingPlatform *m_platform = nullptr;
};

void tst_App::initTestCase()
{
    QVERIFY(app());
    QVERIFY(m_dir.isValid());
    auto screen = std::make_unique<RecordingPlatform>();
    m_platform = screen.get();
    m_platform->answer = Platform::AlternateButton;
    installPlatform(std::move(screen));
    app()->router().setCreator(WorkflowKind::Download, [] { return new DownloadWindow; });
    app()->router().setCreator(WorkflowKind::Upload,
                               [] { return new FakeWorkflowWindow(WorkflowKind::Upload); });
}

void tst_App::cleanup()
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (auto *d = dynamic_cast<DownloadWindow *>(w))
            d->refuseClose = false;
    }
    // Only windows of their own: a popup owned by a window goes with it.
    QList<QPointer<QWidget>> owners;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->parentWidget())
            owners.append(w);
    }
    for (const QPointer<QWidget> &w : std::as_const(owners))
        delete w.data();
}

void tst_App::startUpShowsTheHomeWindow()
{
    app()->startUp();
    QVERIFY(app()->quitOnLastWindowClosed());
    QVERIFY(QFileInfo(myPrefs::prefsdir()).isDir());
    QVERIFY(!app()->rsrcsF().isEmpty());
    QVERIFY(QFileInfo::exists(app()->rsrcsF() + u"/Images/Theme/Cuadroarrastre110.png"_s));
    homeWindow *home = app()->home();
    QVERIFY(home);
    QVERIFY(home->isVisible());
    QCOMPARE(home->windowTitle(), u"App_tests - Home Window"_s);
}

void tst_App::displayName_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << u"lumbra"_s << u"Lumbra"_s;
    QTest::newRow(".exe") << u"lumbra.exe"_s << u"Lumbra"_s;
    QTest::newRow(".exe and more") << u"Lumbra.exe.debug"_s << u"Lumbra"_s;
    QTest::newRow("other dots") << u"lumbra.bin"_s << u"Lumbra.bin"_s;
}

void tst_App::displayName()
{
    QFETCH(QString, executable);
    QFETCH(QString, name);
    QCOMPARE(App::displayNameOf(executable), name);
}

void tst_App::unhandledErrorIsReportedAndTheProgramGoesOn()
{
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QTRY_COMPARE(messageBoxes().size(), 1);
    QMessageBox *box = messageBoxes().first();
    QCOMPARE(box->text(), u"Exception: out of bounds.\n\nNo further details available."_s);
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    box->accept();

    // The event loop still runs.
    bool later = false;
    QTimer::singleShot(0, this, [&later] { later = true; });
    QTRY_VERIFY(later);
}

void tst_App::errorFromAWorkerDoesNotWait()
{
    // The worker ends while the box is still to be shown: nothing waits for the user.
    QThread *worker = QThread::create([] { desktopHooks().showError(u"The file cannot be read"_s); });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;
    QTRY_COMPARE(messageBoxes().size(), 1);
    QCOMPARE(messageBoxes().first()->text(), u"The file cannot be read"_s);
    messageBoxes().first()->accept();
}

void tst_App::dialogFromAWorkerRunsOnTheMainThread()
{
    int answer = -1;
    QThread *worker = QThread::create([&answer] {
        answer =
            desktopHooks().showMessageDialog(nullptr, u"ask"_s, u"Replace"_s, u"Cancel"_s, u"Keep Both"_s,
                                             u"A subtitle is there already."_s, QString());
    });
    worker->start();
    // The worker waits for the answer, which the main thread gives.
    QTRY_VERIFY(worker->isFinished());
    delete worker;
    QCOMPARE(answer, 3);
    QCOMPARE(m_platform->dialogThread, QThread::currentThread());
    QCOMPARE(m_platform->dialogs.last().alternateCaption, u"Keep Both"_s);
}

void tst_App::playerTestsCacheOnlyAPositiveAnswer()
{
    int localRuns = 0;
    int copiedRuns = 0;
    bool found = false;
    app()->setPlayerTests(
        [&] {
            ++localRuns;
            return found;
        },
        [&] {
            ++copiedRuns;
            return true;
        });
    QVERIFY(!app()->hasAPlayer());
    QVERIFY(!app()->hasAPlayer());
    QCOMPARE(localRuns, 2); // a negative answer is asked again
    found = true;
    QVERIFY(app()->hasAPlayer());
    QVERIFY(app()->hasAPlayer());
    QCOMPARE(localRuns, 3); // a positive one is kept
    QVERIFY(app()->gotAPlayer());
    QVERIFY(app()->gotAPlayer());
    QCOMPARE(copiedRuns, 1);
}

void tst_App::menuCommands()
{
    QVERIFY(app()->menuCommand(u"GetSubtitlesWindowMenuItem"_s));
    auto *first = dynamic_cast<DownloadWindow *>(app()->router().frontmostVisible(WorkflowKind::Download));
    QVERIFY(first);
    QCOMPARE(first->opened, 1);
    // The default window comes back, not a new one.
    QVERIFY(app()->menuCommand(u"getsubtitleswindowmenuitem"_s));
    QCOMPARE(app()->router().frontmostVisible(WorkflowKind::Download), first);

    // Preferences: made once by the registered creator.
    int made = 0;
    app()->setPreferencesWindowCreator([&made] {
        ++made;
        return new QLabel(u"Preferences"_s);
    });
    QVERIFY(app()->menuCommand(u"ItemOptionsMenuItem"_s));
    QVERIFY(app()->menuCommand(u"WindowMenuPrefs"_s));
    QCOMPARE(made, 1);
    QVERIFY(!app()->menuCommand(u"zoomWindow"_s)); // a window's command, not the application's

    // The front window's handler wins; the application's serves the rest.
    first->activateWindow();
    first->raise();
    app()->windowOrder().bringForward(first);
    QApplication::setActiveWindow(first);
    QVERIFY(app()->dispatchMenuCommand(u"FileClose"_s));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!app()->router().frontmostVisible(WorkflowKind::Download));
}

void tst_App::documentsGoToOneDownloadWindow()
{
    const QString a = m_dir.filePath(u"a.mkv"_s);
    const QString b = m_dir.filePath(u"b.srt"_s);
    QVERIFY(QFile(a).open(QIODevice::WriteOnly));
    QVERIFY(QFile(b).open(QIODevice::WriteOnly));
    app()->openDocument(m_dir.filePath(u"gone.mkv"_s));
    QVERIFY(!app()->router().frontmostVisible(WorkflowKind::Download));
    app()->openDocument(a);
    app()->openDocument(b);
    app()->openDocument(m_dir.path());
    auto *window = dynamic_cast<DownloadWindow *>(app()->router().frontmostVisible(WorkflowKind::Download));
    QVERIFY(window);
    QCOMPARE(window->built, (QStringList{a, m_dir.path()}));
    // A subtitle goes to the upload workflow.
    auto *upload = dynamic_cast<FakeWorkflowWindow *>(app()->router().frontmostVisible(WorkflowKind::Upload));
    QVERIFY(upload);
    QCOMPARE(upload->built, QStringList{b});
}

void tst_App::downloadWindowPlacement()
{
    XPrefs::setFilePathForTesting(m_dir.filePath(u"placement.plist"_s));
    // First start: the minimum size at the available area's corner, placed
    // and titled before the window's own open handling runs.
    auto *window = new DownloadWindow;
    window->show();
    QCOMPARE(window->opened, 1);
    QCOMPARE(window->openedTitle, u"App_tests - Get Subtitles"_s);
    QCOMPARE(window->kWindowName(), u"lumbraWindow"_s);
    QCOMPARE(window->frameGeometry().topLeft(), QPoint(0, 27));
    QCOMPARE(window->size(), QSize(760, 470));

    window->setGeometry(100, 120, 900, 600);
    const QRect outer = window->frameGeometry();
    window->refuseClose = true;
    QVERIFY(!window->close());
    QVERIFY(!XPrefs::HasKey(u"lumbraWindow.Left"_s)); // only a real close saves
    window->refuseClose = false;
    QVERIFY(window->close());
    QCOMPARE(XPrefs::Value(u"lumbraWindow.Left"_s).toInt(), outer.x());
    QCOMPARE(XPrefs::Value(u"lumbraWindow.top"_s).toInt(), outer.y());
    QCOMPARE(XPrefs::Value(u"lumbraWindow.width"_s).toInt(), outer.width());
    QCOMPARE(XPrefs::Value(u"lumbraWindow.height"_s).toInt(), outer.height());
    QCOMPARE(XPrefs::Value(u"lumbraWindow.screencount"_s).toInt(), 1);

    // Too wide for the screen on the next start; then reset with zoomWindow.
    XPrefs::setValue(u"lumbraWindow.width"_s, 5000);
    auto *next = new DownloadWindow;
    next->show();
    // As wide as the available area and moved left to fit in it whole.
    QCOMPARE(next->frameGeometry(), QRect(QPoint(0, outer.y()), QSize(1280, outer.height())));
    QVERIFY(next->menuCommand(u"zoomWindow"_s));
    QCOMPARE(next->frameGeometry().topLeft(), QPoint(0, 27));
    QCOMPARE(next->size(), QSize(760, 470));
    XPrefs::setFilePathForTesting(QString());
}

void tst_App::savingWindowDuringASlowSave()
{
    XPrefs::setFilePathForTesting(m_dir.filePath(u"slow.plist"_s));
    for (int i = 0; i < 50; ++i)
        XPrefs::setValue(u"key%1"_s.arg(i), u"a value long enough to take a while %1"_s.arg(i));
    // Record every saving window that appears.
    ShowCounter<XPrefsSaving> shown;

    XPrefs::setSaveAlertWait(-1); // disabled
    XPrefs::ToString();
    QCOMPARE(shown.count(), 0);

    XPrefs::setSaveAlertWait(0);
    XPrefs::ToString();
    QCOMPARE(shown.count(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!XPrefsSaving::current());

    // A save on a worker: the window still lives on the main thread.
    QThread *worker = QThread::create([] { XPrefs::ToString(); });
    worker->start();
    QTRY_VERIFY(worker->isFinished());
    QTRY_COMPARE(shown.count(), 2);
    QTRY_VERIFY(!XPrefsSaving::current());
    delete worker;

    shown.stop();
    XPrefs::setSaveAlertWait(2.0);
    XPrefs::setFilePathForTesting(QString());
}

LUMBRA_TEST_MAIN_WITH_APP(tst_App, App)

#include "tst_App.moc"

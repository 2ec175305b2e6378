#include "FakeWorkflowWindow.h"
#include "RecordingPlatform.h"
#include "TestMain.h"

#include "app/homeWindow.h"
#include "controls/omiPanel.h"
#include "prefs/XPrefs.h"
#include "window/DocumentRouter.h"
#include "window/WindowOrder.h"

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace Qt::Literals::StringLiterals;

class tst_homeWindow final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void layout();
    void dragActivatesOnlyOverTheIcon_data();
    void dragActivatesOnlyOverTheIcon();
    void dropInsideAndOutsideTheIcon_data();
    void dropInsideAndOutsideTheIcon();
    void dropJoinsTheFrontmostWindow();
    void clickOnTheIconShowsTheDefaultWindow();
    void pasteHandsTheClipboardToADownloadWindow();
    void placementIsSavedAndRestored();

private:
    void dragTo(omiPanel *panel, const QPoint &at, QEvent::Type type, QMimeData *data);
    bool drop(omiPanel *panel, const QPoint &at, QMimeData *data);
    QString makeFile(const QString &name);

    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingPlatform *m_platform = nullptr;
    std::unique_ptr<WindowOrder> m_order;
    std::unique_ptr<DocumentRouter> m_router;
    QPointer<homeWindow> m_home;
    QList<QPointer<FakeWorkflowWindow>> m_created;
};

void tst_homeWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    XPrefs::setFilePathForTesting(m_dir->filePath(u"prefs.plist"_s));
    auto platform = std::make_unique<RecordingPlatform>();
    m_platform = platform.get();
    installPlatform(std::move(platform));
    m_order = std::make_unique<WindowOrder>();
    m_router = std::make_unique<DocumentRouter>(m_order.get());
    m_created.clear();
    for (WorkflowKind kind : {WorkflowKind::Download, WorkflowKind::Upload}) {
        m_router->setCreator(kind, [this, kind] {
            auto *w = new FakeWorkflowWindow(kind);
            m_created.append(w);
            return w;
        });
    }
    m_home = new homeWindow(*m_router);
    m_home->show();
}

void tst_homeWindow::cleanup()
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    qDeleteAll(windows);
    m_router.reset();
    m_order.reset();
    installPlatform(nullptr);
    XPrefs::setFilePathForTesting(QString());
    m_dir.reset();
}

QString tst_homeWindow::makeFile(const QString &name)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create a fixture file");
    return path;
}

void tst_homeWindow::dragTo(omiPanel *panel, const QPoint &at, QEvent::Type type, QMimeData *data)
{
    if (type == QEvent::DragEnter) {
        QDragEnterEvent event(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel, &event);
    } else {
        QDragMoveEvent event(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel, &event);
    }
}

bool tst_homeWindow::drop(omiPanel *panel, const QPoint &at, QMimeData *data)
{
    dragTo(panel, at, QEvent::DragEnter, data);
    QDropEvent event(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &event);
    return event.isAccepted();
}

void tst_homeWindow::layout()
{
    QCOMPARE(m_home->size(), QSize(320, 162));
    QCOMPARE(m_home->minimumSize(), m_home->maximumSize());
    QVERIFY(!m_home->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(m_home->dropVids()->geometry(), QRect(0, 2, 160, 160));
    QCOMPARE(m_home->dropSubs()->geometry(), QRect(160, 2, 160, 160));
    QCOMPARE(m_home->dropVids()->caption(), u"Drag movies\\nhere"_s);
    QCOMPARE(m_home->dropSubs()->DragCaption(), u"Drop subtitles\\nhere"_s);
    QCOMPARE(m_home->windowTitle(), u"App_tests - Home Window"_s);
}

void tst_homeWindow::dragActivatesOnlyOverTheIcon_data()
{
    // The 110 x 110 icon is centred in the 160 x 160 panel: it spans 25..135.
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("active");
    QTest::newRow("centre") << QPoint(80, 80) << 1;
    QTest::newRow("just inside") << QPoint(26, 134) << 1;
    QTest::newRow("on the icon's left edge") << QPoint(25, 80) << 0;
    QTest::newRow("on the icon's right edge") << QPoint(135, 80) << 0;
    QTest::newRow("panel margin") << QPoint(10, 10) << 0;
}

void tst_homeWindow::dragActivatesOnlyOverTheIcon()
{
    QFETCH(QPoint, at);
    QFETCH(int, active);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(makeFile(u"a.mkv"_s))});
    omiPanel *panel = m_home->dropVids();
    dragTo(panel, at, QEvent::DragEnter, &data);
    QCOMPARE(panel->IAmActive(), active);
    dragTo(panel, QPoint(80, 80), QEvent::DragMove, &data);
    QCOMPARE(panel->IAmActive(), 1);
    QDragLeaveEvent leave;
    QApplication::sendEvent(panel, &leave);
    QCOMPARE(panel->IAmActive(), 0);
}

void tst_homeWindow::dropInsideAndOutsideTheIcon_data()
{
    QTest::addColumn<bool>("videos");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("handedOver");
    QTest::newRow("videos, on the icon") << true << QPoint(80, 80) << true;
    QTest::newRow("videos, margin outside the icon") << true << QPoint(12, 80) << false;
    QTest::newRow("videos, icon edge") << true << QPoint(80, 135) << false;
    QTest::newRow("subtitles, on the icon") << false << QPoint(30, 130) << true;
    QTest::newRow("subtitles, below the icon") << false << QPoint(80, 150) << false;
}

void tst_homeWindow::dropInsideAndOutsideTheIcon()
{
    QFETCH(bool, videos);
    QFETCH(QPoint, at);
    QFETCH(bool, handedOver);
    const QStringList files{makeFile(u"b.mkv"_s), makeFile(u"a.srt"_s)};
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(files[0]), QUrl::fromLocalFile(files[1])});

    omiPanel *panel = videos ? m_home->dropVids() : m_home->dropSubs();
    QCOMPARE(drop(panel, at, &data), handedOver);
    QVERIFY(!panel->dragged());
    if (!handedOver) {
        QVERIFY(m_created.isEmpty());
        return;
    }
    QCOMPARE(m_created.size(), 1);
    FakeWorkflowWindow *window = m_created.first();
    QCOMPARE(window->workflowKind(), videos ? WorkflowKind::Download : WorkflowKind::Upload);
    QVERIFY(window->isVisible());
    QCOMPARE(window->drops, QList<QStringList>{files}); // the whole drag item, queued
}

void tst_homeWindow::dropJoinsTheFrontmostWindow()
{
    auto *back = new FakeWorkflowWindow(WorkflowKind::Download);
    back->show();
    auto *front = new FakeWorkflowWindow(WorkflowKind::Download);
    front->show();
    m_home->show(); // the home window itself is in front of both
    m_order->bringForward(m_home);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(makeFile(u"a.mkv"_s))});
    QVERIFY(drop(m_home->dropVids(), QPoint(80, 80), &data));
    QCOMPARE(front->drops.size(), 1);
    QVERIFY(back->drops.isEmpty());
    QVERIFY(m_created.isEmpty());
}

void tst_homeWindow::clickOnTheIconShowsTheDefaultWindow()
{
    QTest::mouseClick(m_home->dropSubs(), Qt::LeftButton, {}, QPoint(10, 10)); // margin: nothing
    QVERIFY(m_created.isEmpty());
    QTest::mouseClick(m_home->dropSubs(), Qt::LeftButton, {}, QPoint(80, 80));
    QCOMPARE(m_created.size(), 1);
    QCOMPARE(m_created.first()->workflowKind(), WorkflowKind::Upload);
    QTest::mouseClick(m_home->dropSubs(), Qt::LeftButton, {}, QPoint(80, 80));
    QCOMPARE(m_created.size(), 1); // the default window again

    m_home->dropVids()->setEnabled(false);
    QTest::mouseClick(m_home->dropVids(), Qt::LeftButton, {}, QPoint(80, 80));
    QCOMPARE(m_created.size(), 1);
}

void tst_homeWindow::pasteHandsTheClipboardToADownloadWindow()
{
    QVERIFY(m_home->menuCommand(u"EditPaste"_s)); // handled even with nothing to paste
    QVERIFY(m_created.isEmpty());

    m_platform->clipboard = {makeFile(u"a.srt"_s), makeFile(u"b.mkv"_s)};
    QVERIFY(m_home->menuCommand(u"editpaste"_s));
    QCOMPARE(m_created.size(), 1);
    QCOMPARE(m_created.first()->workflowKind(), WorkflowKind::Download);
    QCOMPARE(m_created.first()->builtLists, QList<QStringList>{m_platform->clipboard});
    QVERIFY(!m_home->menuCommand(u"zoomWindow"_s)); // no handler here
}

void tst_homeWindow::placementIsSavedAndRestored()
{
    // First start: the corner of the available area, at the fixed size.
    QCOMPARE(m_home->pos(), QPoint(0, 27));
    m_home->move(400, 300);
    QVERIFY(m_home->menuCommand(u"FileClose"_s));
    QCOMPARE(XPrefs::Value(u"homeWindow.Left"_s).toInt(), 400);
    QCOMPARE(XPrefs::Value(u"homeWindow.top"_s).toInt(), 300);
    QCOMPARE(XPrefs::Value(u"homeWindow.width"_s).toInt(), 320);
    QCOMPARE(XPrefs::Value(u"homeWindow.height"_s).toInt(), 162);
    QCOMPARE(XPrefs::Value(u"homeWindow.screencount"_s).toInt(), 1);
    QVERIFY(QFile::exists(XPrefs::filePath())); // written at once

    // Read back from the file, far to the right of the screen: pulled to x = 3.
    XPrefs::setValue(u"homeWindow.Left"_s, 2500);
    QVERIFY(XPrefs::Save());
    XPrefs::setFilePathForTesting(XPrefs::filePath());
    auto *again = new homeWindow(*m_router);
    again->show();
    QCOMPARE(again->pos(), QPoint(3, 300));
    QCOMPARE(again->size(), QSize(320, 162));
}

LUMBRA_TEST_MAIN(tst_homeWindow)
#include "tst_homeWindow.moc"

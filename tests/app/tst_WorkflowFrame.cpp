#include "controls/omiButton.h"
#include "controls/omiPanel.h"
#include "TestMain.h"
#include "window/BusyWheel.h"
#include "window/WorkflowFrame.h"

#include <QFile>
#include <QMimeData>
#include <QPropertyAnimation>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

class tst_WorkflowFrame final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startingLayout();
    void anchorsFollowTheWindow();
    void keys_data();
    void keys();
    void cancelClosesTheWindow();
    void stageMarkerGlides();
    void dropsOnlyWhileTheDropPanelIsEnabled();
};

void tst_WorkflowFrame::startingLayout()
{
    WorkflowFrame frame;
    auto *list = new QWidget;
    frame.setList(list);
    QCOMPARE(frame.size(), QSize(760, 470));
    QCOMPARE(frame.minimumSize(), QSize(760, 470));
    QCOMPARE(frame.palette().color(QPalette::Window), QColor(241, 240, 235));
    QCOMPARE(frame.stageColumn()->geometry(), QRect(0, 0, 125, 471));
    QCOMPARE(frame.DropFilesCanvasSection()->geometry(), QRect(0, 0, 125, 103));
    QCOMPARE(frame.ShowResultsCanvas()->geometry(), QRect(0, 102, 125, 103));
    QCOMPARE(frame.GetSubsCanvas()->geometry(), QRect(0, 204, 125, 103));
    QVERIFY(frame.DropFilesCanvasSection()->isEnabled());
    QVERIFY(!frame.ShowResultsCanvas()->isEnabled());
    QVERIFY(!frame.GetSubsCanvas()->isEnabled());
    QCOMPARE(frame.DropFilesProgress()->parentWidget(), frame.DropFilesCanvasSection());
    QCOMPARE(frame.DropFilesProgress()->geometry(), QRect(46, 35, 32, 32));
    QVERIFY(frame.DropFilesProgress()->isHidden());
    QCOMPARE(frame.DropFilesCanvas()->geometry(), QRect(0, 368, 125, 103));
    QCOMPARE(frame.DropFilesCanvas()->picWidth(), 60);
    QCOMPARE(frame.SelectedActionStrip()->geometry(), QRect(0, 0, 5, 103));
    QCOMPARE(frame.SelectedActionStrip()->palette().color(QPalette::Window), QColor(99, 183, 143));
    QCOMPARE(list->geometry(), QRect(125, 0, 635, 417));
    QCOMPARE(frame.mainButton()->geometry(), QRect(590, 429, 150, 28));
    QVERIFY(frame.mainButton()->isDefault());
    QCOMPARE(frame.CancelButton()->geometry(), QRect(125, 429, 96, 28));
    QCOMPARE(frame.CancelButton()->caption(), u"Cancel"_s);
}

void tst_WorkflowFrame::anchorsFollowTheWindow()
{
    WorkflowFrame frame;
    auto *list = new QWidget;
    frame.setList(list);
    frame.show();
    frame.resize(1000, 600);
    QCOMPARE(frame.stageColumn()->geometry(), QRect(0, 0, 125, 601));
    QCOMPARE(frame.GetSubsCanvas()->geometry(), QRect(0, 204, 125, 103)); // top-anchored
    QCOMPARE(frame.DropFilesCanvas()->geometry(), QRect(0, 498, 125, 103));
    QCOMPARE(list->geometry(), QRect(125, 0, 875, 547));
    QCOMPARE(frame.mainButton()->geometry(), QRect(830, 559, 150, 28));
    QCOMPARE(frame.CancelButton()->geometry(), QRect(125, 559, 96, 28));
}

void tst_WorkflowFrame::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("mainEnabled");
    QTest::addColumn<bool>("cancelEnabled");
    QTest::addColumn<int>("mainPresses");
    QTest::addColumn<bool>("closed");
    QTest::newRow("Return presses the main button") << int(Qt::Key_Return) << true << true << 1 << false;
    QTest::newRow("Enter too") << int(Qt::Key_Enter) << true << true << 1 << false;
    QTest::newRow("Return with the main button disabled")
        << int(Qt::Key_Return) << false << true << 0 << false;
    QTest::newRow("Escape presses cancel") << int(Qt::Key_Escape) << true << true << 0 << true;
    QTest::newRow("Escape with cancel disabled") << int(Qt::Key_Escape) << true << false << 0 << false;
    QTest::newRow("other keys do nothing") << int(Qt::Key_A) << true << true << 0 << false;
}

void tst_WorkflowFrame::keys()
{
    QFETCH(int, key);
    QFETCH(bool, mainEnabled);
    QFETCH(bool, cancelEnabled);
    QFETCH(int, mainPresses);
    QFETCH(bool, closed);

    auto *frame = new WorkflowFrame;
    frame->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<WorkflowFrame> alive(frame);
    frame->show();
    frame->mainButton()->setEnabled(mainEnabled);
    frame->CancelButton()->setEnabled(cancelEnabled);
    QSignalSpy main(frame, &WorkflowFrame::mainAction);

    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(frame, &press);
    QVERIFY(press.isAccepted()); // every key that reaches the frame is taken
    QCOMPARE(main.size(), mainPresses);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(alive.isNull(), closed);
    delete alive.data();
}

void tst_WorkflowFrame::cancelClosesTheWindow()
{
    QWidget window;
    auto *frame = new WorkflowFrame(&window);
    window.show();
    QVERIFY(window.isVisible());
    QTest::mouseClick(frame->CancelButton(), Qt::LeftButton, {}, QPoint(48, 14));
    QVERIFY(!window.isVisible());
}

void tst_WorkflowFrame::stageMarkerGlides()
{
    WorkflowFrame frame;
    frame.show();
    QPropertyAnimation *move = frame.markerAnimation();
    QCOMPARE(move->duration(), 1000);
    QCOMPARE(move->easingCurve().type(), QEasingCurve::InOutSine);

    frame.setStage(0); // already there: no move
    QCOMPARE(move->state(), QAbstractAnimation::Stopped);

    frame.setStage(1);
    QVERIFY(frame.ShowResultsCanvas()->isEnabled());
    QCOMPARE(frame.ShowResultsCanvas()->IAmActive(), 1);
    QCOMPARE(frame.DropFilesCanvasSection()->IAmActive(), 0);
    QCOMPARE(move->state(), QAbstractAnimation::Running);
    QCOMPARE(frame.SelectedActionStrip()->y(), 0); // the caller does not wait
    QTRY_COMPARE_WITH_TIMEOUT(frame.SelectedActionStrip()->pos(), QPoint(0, 102), 3000);

    // A new stage while moving turns the marker towards the new target.
    frame.setStage(2);
    QTRY_VERIFY(frame.SelectedActionStrip()->y() > 102); // under way
    frame.setStage(0);
    QCOMPARE(move->endValue().toPoint(), QPoint(0, 0));
    QTRY_COMPARE_WITH_TIMEOUT(frame.SelectedActionStrip()->pos(), QPoint(0, 0), 3000);
    QCOMPARE(frame.SelectedActionStrip()->size(), QSize(5, 103));
}

void tst_WorkflowFrame::dropsOnlyWhileTheDropPanelIsEnabled()
{
    QTemporaryDir dir;
    const QString video = dir.filePath(u"a.mkv"_s);
    QVERIFY(QFile(video).open(QIODevice::WriteOnly));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(video)});

    WorkflowFrame frame;
    QSignalSpy dropped(&frame, &WorkflowFrame::filesDropped);
    const auto dropOn = [&] {
        QDragEnterEvent enter(QPoint(60, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame.DropFilesCanvas(), &enter);
        QDropEvent event(QPointF(60, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame.DropFilesCanvas(), &event);
    };
    dropOn();
    QCOMPARE(dropped.size(), 1);
    QCOMPARE(dropped.first().first().value<DragItem>().paths, QStringList{video});

    frame.DropFilesCanvas()->setEnabled(false);
    dropOn();
    QCOMPARE(dropped.size(), 1);
}

LUMBRA_TEST_MAIN(tst_WorkflowFrame)
#include "tst_WorkflowFrame.moc"

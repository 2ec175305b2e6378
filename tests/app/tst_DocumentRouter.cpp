#include "FakeWorkflowWindow.h"
#include "TestMain.h"

#include "window/DocumentRouter.h"
#include "window/WindowOrder.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

class tst_DocumentRouter final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void documentGoesToFrontmostVisibleDownloadWindow();
    void hiddenWindowsDoNotCount();
    void severalDocumentsShareTheNewWindow();
    void vanishedOrUnreadableDocumentsAreIgnored();
    void dropsGoToTheirOwnWorkflow();
    void dropWithoutFilesChangesNothing();
    void pasteAlwaysTargetsDownloads();
    void defaultWindowIsReusedWhileItExists();
    void noCreatorMeansNoWindow();

private:
    FakeWorkflowWindow *open(WorkflowKind kind, const QString &name);
    QString makeFile(const QString &name);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<WindowOrder> m_order;
    std::unique_ptr<DocumentRouter> m_router;
    QList<QPointer<FakeWorkflowWindow>> m_created;
};

void tst_DocumentRouter::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_order = std::make_unique<WindowOrder>();
    m_router = std::make_unique<DocumentRouter>(m_order.get());
    m_created.clear();
    for (WorkflowKind kind : {WorkflowKind::Download, WorkflowKind::Upload}) {
        m_router->setCreator(kind, [this, kind] {
            auto *w = new FakeWorkflowWindow(kind, u"created %1"_s.arg(m_created.size()));
            m_created.append(w);
            return w;
        });
    }
}

void tst_DocumentRouter::cleanup()
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    qDeleteAll(windows);
    m_router.reset();
    m_order.reset();
    m_dir.reset();
}

FakeWorkflowWindow *tst_DocumentRouter::open(WorkflowKind kind, const QString &name)
{
    auto *w = new FakeWorkflowWindow(kind, name);
    w->show();
    return w;
}

QString tst_DocumentRouter::makeFile(const QString &name)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create a fixture file");
    return path;
}

void tst_DocumentRouter::documentGoesToFrontmostVisibleDownloadWindow()
{
    FakeWorkflowWindow *back = open(WorkflowKind::Download, u"back"_s);
    FakeWorkflowWindow *front = open(WorkflowKind::Download, u"front"_s);
    FakeWorkflowWindow *upload = open(WorkflowKind::Upload, u"upload"_s); // in front, wrong workflow
    const QString video = makeFile(u"a.mkv"_s);

    m_router->openDocument(video);
    QCOMPARE(front->built, QStringList{video});
    QVERIFY(back->built.isEmpty());
    QVERIFY(upload->built.isEmpty());
    QCOMPARE(front->modes, QStringList{u"adding"_s}); // an existing window keeps its state
    QVERIFY(m_created.isEmpty());

    // Activating the other window puts it in front.
    m_order->bringForward(back);
    m_router->openDocument(video);
    QCOMPARE(back->built, QStringList{video});
    QCOMPARE(m_order->frontToBack().first(), back);
}

void tst_DocumentRouter::hiddenWindowsDoNotCount()
{
    FakeWorkflowWindow *hidden = open(WorkflowKind::Download, u"hidden"_s);
    hidden->hide();
    const QString video = makeFile(u"a.mkv"_s);

    m_router->openDocument(video);
    QVERIFY(hidden->built.isEmpty());
    QCOMPARE(m_created.size(), 1);
    FakeWorkflowWindow *created = m_created.first();
    QVERIFY(created->isVisible());
    QCOMPARE(created->built, QStringList{video});
    // A window made for a document is left in its first state.
    QCOMPARE(created->modes, (QStringList{u"adding"_s, u"Idle"_s}));
}

void tst_DocumentRouter::severalDocumentsShareTheNewWindow()
{
    const QStringList items{makeFile(u"a.mkv"_s), makeFile(u"c.avi"_s), m_dir->path()};
    for (const QString &item : items)
        m_router->openDocument(item);
    QCOMPARE(m_created.size(), 1);
    QCOMPARE(m_created.first()->built, items);

    // Subtitles go to an upload window, as when dropped on the home window.
    const QStringList subs{makeFile(u"b.srt"_s), makeFile(u"b.en.SUB"_s)};
    for (const QString &sub : subs)
        m_router->openDocument(sub);
    QCOMPARE(m_created.size(), 2);
    QCOMPARE(m_created.last()->workflowKind(), WorkflowKind::Upload);
    QCOMPARE(m_created.last()->built, subs);
    QCOMPARE(m_created.first()->built, items);
}

void tst_DocumentRouter::vanishedOrUnreadableDocumentsAreIgnored()
{
    const QString vanished = makeFile(u"gone.mkv"_s);
    QVERIFY(QFile::remove(vanished));
    const QString locked = makeFile(u"locked.mkv"_s);
    QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));

    m_router->openDocument(vanished);
    m_router->openDocument(QString());
    if (!QFileInfo(locked).isReadable()) // root reads everything
        m_router->openDocument(locked);
    QVERIFY(m_created.isEmpty());
}

void tst_DocumentRouter::dropsGoToTheirOwnWorkflow()
{
    FakeWorkflowWindow *download = open(WorkflowKind::Download, u"download"_s);
    const DragItem subs{{makeFile(u"a.srt"_s), makeFile(u"b.srt"_s)}};

    // No upload window yet: one is made and gets the whole drag item.
    m_router->handOverDrop(WorkflowKind::Upload, subs);
    QCOMPARE(m_created.size(), 1);
    QCOMPARE(m_created.first()->workflowKind(), WorkflowKind::Upload);
    QCOMPARE(m_created.first()->drops, QList<QStringList>{subs.paths});
    QVERIFY(m_created.first()->built.isEmpty()); // the window's tick takes it in, not the router

    const DragItem videos{{makeFile(u"a.mkv"_s)}};
    m_router->handOverDrop(WorkflowKind::Download, videos);
    QCOMPARE(download->drops, QList<QStringList>{videos.paths});
    QCOMPARE(m_created.size(), 1);
}

void tst_DocumentRouter::dropWithoutFilesChangesNothing()
{
    m_router->handOverDrop(WorkflowKind::Download, DragItem{});
    m_router->handOverDrop(WorkflowKind::Download, DragItem{{m_dir->filePath(u"missing.mkv"_s)}});
    QVERIFY(m_created.isEmpty());
}

void tst_DocumentRouter::pasteAlwaysTargetsDownloads()
{
    open(WorkflowKind::Upload, u"upload"_s);
    m_router->pasteFiles({});
    QVERIFY(m_created.isEmpty());

    const QStringList subs{makeFile(u"a.srt"_s)};
    m_router->pasteFiles(subs);
    QCOMPARE(m_created.size(), 1);
    QCOMPARE(m_created.first()->workflowKind(), WorkflowKind::Download);
    QCOMPARE(m_created.first()->builtLists, QList<QStringList>{subs});
}

void tst_DocumentRouter::defaultWindowIsReusedWhileItExists()
{
    WorkflowWindow *first = m_router->showDefault(WorkflowKind::Download);
    QVERIFY(first);
    // A newer download window in front does not replace the default one.
    open(WorkflowKind::Download, u"other"_s);
    QCOMPARE(m_router->showDefault(WorkflowKind::Download), first);
    QVERIFY(first->asWidget()->isVisible());
    QCOMPARE(m_created.size(), 1);

    // Once closed it is never shown again, even while it lingers hidden
    // for its work to end: the next request makes a new one.
    first->asWidget()->hide();
    WorkflowWindow *second = m_router->showDefault(WorkflowKind::Download);
    QVERIFY(second && second != first);
    QVERIFY(!first->asWidget()->isVisible());
    QCOMPARE(m_created.size(), 2);
    first->asWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(m_router->showDefault(WorkflowKind::Download), second);
}

void tst_DocumentRouter::noCreatorMeansNoWindow()
{
    DocumentRouter bare(m_order.get());
    QVERIFY(!bare.canCreate(WorkflowKind::Download));
    bare.openDocument(makeFile(u"a.mkv"_s));
    QVERIFY(!bare.showDefault(WorkflowKind::Upload));
}

LUMBRA_TEST_MAIN(tst_DocumentRouter)
#include "tst_DocumentRouter.moc"

#include "FakeWorkflowWindow.h"
#include "RecordingPlatform.h"
#include "TestMain.h"

#include "app/App.h"
#include "app/homeWindow.h"
#include "controls/omiButton.h"
#include "controls/omiPanel.h"
#include "download/gui/GetSubtitlesWindow.h"
#include "prefs/gui/PreferencesWindow.h"
#include "prefs/XPrefs.h"
#include "upload/gui/PutSubtitles.h"
#include "window/MainMenubar.h"
#include "window/MenuCommandTarget.h"
#include "window/WindowOrder.h"
#include "window/WorkflowFrame.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {
// A window that takes the commands it is told to take and records them.
class TargetWindow final : public QWidget, public MenuCommandTarget {
public:
    explicit TargetWindow(const QStringList &takes)
        : m_takes(takes)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        resize(300, 200);
    }
    bool menuCommand(const QString &name) override
    {
        if (!canHandleMenuCommand(name))
            return false;
        received.append(name);
        return true;
    }
    bool canHandleMenuCommand(const QString &name) const override
    {
        return m_takes.contains(name, Qt::CaseInsensitive);
    }
    QStringList received;

private:
    QStringList m_takes;
};

// A window that only carries out commands and does not say which.
class PlainTarget final : public QWidget, public MenuCommandTarget {
public:
    bool menuCommand(const QString &) override { return false; }
};

const QStringList WindowCommands{u"FileClose"_s, u"EditPaste"_s, u"zoomWindow"_s, u"PreviewMenuItem"_s};

void activate(QWidget *window)
{
    window->show();
    window->activateWindow();
    App::instance()->windowOrder().bringForward(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
}
} // namespace

class tst_Menus final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void menusAndItems();
    void commandsReachTheFrontWindow_data();
    void commandsReachTheFrontWindow();
    void itemsFollowWhoCanTakeThem();
    void editItemsWorkInTheFocusedTextField();
    void homeWindowCarriesTheMenuBar();
    void applicationItems();
    void downloadWindowTakesItsCommands();
    void keysReachTheWindowTheUserSees();
    void quitAsksEachWindowsQuestion();
    void openTakesVideosSubtitlesAndFolders();

private:
    App *app() { return App::instance(); }
    MainMenubar &menus() { return app()->menubar(); }
    bool enabled(const QString &name)
    {
        menus().updateEnabling();
        return menus().item(name)->isEnabled();
    }

    QTemporaryDir m_dir;
    RecordingPlatform *m_platform = nullptr;
    QList<QPointer<FakeWorkflowWindow>> m_created;
};

void tst_Menus::initTestCase()
{
    QVERIFY(app());
    QVERIFY(m_dir.isValid());
    XPrefs::setFilePathForTesting(m_dir.filePath(u"prefs.plist"_s));
    auto platform = std::make_unique<RecordingPlatform>();
    m_platform = platform.get();
    installPlatform(std::move(platform));
}

void tst_Menus::init()
{
    m_created.clear();
    app()->router().setCreator(WorkflowKind::Download, [this] {
        auto *w = new FakeWorkflowWindow(WorkflowKind::Download);
        m_created.append(w);
        return w;
    });
    m_platform->dialogs.clear();
    m_platform->clipboard.clear();
    m_platform->answer = Platform::ActionButton;
}

void tst_Menus::cleanup()
{
    // Only windows of their own: the overflow menu of a window's menu bar is
    // listed among the top-level widgets too but goes with its window.
    QList<QPointer<QWidget>> owners;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->parentWidget())
            owners.append(w);
    }
    for (const QPointer<QWidget> &w : std::as_const(owners))
        delete w.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_Menus::menusAndItems()
{
    struct Item {
        QString name;
        QString text;
        QString keys;
    };
    const QList<std::pair<QString, QList<Item>>> expected{
        {u"File"_s,
         {{u"FileOpen"_s, u"Open…"_s, u"Ctrl+O"_s},
          {u"OpenSeparator"_s, {}, {}},
          {u"AboutMenuItem"_s, u"About Lumbra"_s, {}},
          {u"AboutSeparator"_s, {}, {}},
          {u"FileQuit"_s, u"Quit"_s, u"Ctrl+Q"_s}}},
        {u"Edit"_s,
         {{u"EditUndo"_s, u"&Undo"_s, u"Ctrl+Z"_s},
          {u"UntitledMenu1"_s, {}, {}},
          {u"EditCut"_s, u"Cu&t"_s, u"Ctrl+X"_s},
          {u"EditCopy"_s, u"&Copy"_s, u"Ctrl+C"_s},
          {u"EditPaste"_s, u"&Paste"_s, u"Ctrl+V"_s},
          {u"EditClear"_s, u"&Delete"_s, {}},
          {u"UntitledMenu0"_s, {}, {}},
          {u"EditSelectAll"_s, u"Select &All"_s, u"Ctrl+A"_s},
          {u"UntitledSeparator0"_s, {}, {}},
          {u"ItemOptionsMenuItem"_s, u"Preferences"_s, u"Ctrl+,"_s}}},
        {u"Action"_s, {{u"PreviewMenuItem"_s, u"Preview Subtitle over Video"_s, u"Ctrl+P"_s}}},
        {u"Window"_s,
         {{u"FileClose"_s, u"Close"_s, u"Ctrl+W"_s},
          {u"zoomWindow"_s, u"Reset Window Size"_s, {}},
          {u"UntitledSeparator"_s, {}, {}},
          {u"HomeWindowMenuItem"_s, u"Home Window"_s, u"Ctrl+0"_s},
          {u"GetSubtitlesWindowMenuItem"_s, u"Get Subtitles"_s, u"Ctrl+1"_s},
          {u"PutSubtitlesWindowMenuItem"_s, u"Upload Subtitles"_s, u"Ctrl+2"_s},
          {u"WindowMenuPrefs"_s, u"Preferences"_s, {}}}},
    };

    // A window's bar holds the menus in order, each with its items.
    QWidget window;
    QMenuBar *bar = menus().attach(&window);
    QCOMPARE(menus().attach(&window), bar); // once per window
    const QList<QAction *> menuActions = bar->actions();
    QCOMPARE(menuActions.size(), expected.size());
    for (qsizetype m = 0; m < expected.size(); ++m) {
        const auto &[title, items] = expected.at(m);
        QMenu *menu = menuActions.at(m)->menu();
        QVERIFY(menu);
        QCOMPARE(menu->title(), title);
        QCOMPARE(menu->objectName(), MainMenubar::menuNames().at(m));
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), items.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            QAction *action = actions.at(i);
            QCOMPARE(action->objectName(), items.at(i).name);
            QCOMPARE(action->isSeparator(), items.at(i).text.isEmpty());
            if (action->isSeparator())
                continue;
            QCOMPARE(action->text(), items.at(i).text);
            QCOMPARE(action->shortcut().toString(QKeySequence::PortableText), items.at(i).keys);
        }
    }
    QCOMPARE(menus().item(u"filequit"_s)->menuRole(), QAction::QuitRole);
    QCOMPARE(menus().item(u"ItemOptionsMenuItem"_s)->menuRole(), QAction::PreferencesRole);
    QCOMPARE(menus().item(u"WindowMenuPrefs"_s)->menuRole(), QAction::PreferencesRole);
    // One action per shortcut: two with the same keys cancel each other out.
    QStringList keys;
    for (const QAction *action : menus().commandItems()) {
        const QString shortcut = action->shortcut().toString(QKeySequence::PortableText);
        QVERIFY2(shortcut.isEmpty() || !keys.contains(shortcut), qPrintable(shortcut));
        keys.append(shortcut);
    }
}

void tst_Menus::commandsReachTheFrontWindow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("byKeys");
    for (const QString &name : WindowCommands) {
        QTest::newRow(qPrintable(name + u", chosen"_s)) << name << false;
        if (!menus().item(name)->shortcut().isEmpty())
            QTest::newRow(qPrintable(name + u", by its keys"_s)) << name << true;
    }
}

void tst_Menus::commandsReachTheFrontWindow()
{
    QFETCH(QString, name);
    QFETCH(bool, byKeys);
    auto *back = new TargetWindow(WindowCommands);
    auto *front = new TargetWindow(WindowCommands);
    auto *button = new QPushButton(u"focus"_s, front); // no text field has the focus
    back->show();
    activate(front);
    button->setFocus();
    QCOMPARE(app()->frontWindow(), front);

    if (byKeys)
        QTest::keySequence(front, menus().item(name)->shortcut());
    else
        QVERIFY(menus().choose(name));
    QCOMPARE(front->received, QStringList{name});
    QVERIFY(back->received.isEmpty());

    // The other window in front: the command goes there.
    activate(back);
    QVERIFY(menus().choose(name));
    QCOMPARE(back->received, QStringList{name});
    QCOMPARE(front->received.size(), 1);
}

void tst_Menus::itemsFollowWhoCanTakeThem()
{
    // No window: the window commands have nobody to go to.
    for (const QString &name : WindowCommands) {
        QVERIFY2(!enabled(name), qPrintable(name));
        QVERIFY(!menus().choose(name));
    }
    for (const QString &name : {u"FileQuit"_s, u"FileOpen"_s, u"AboutMenuItem"_s, u"HomeWindowMenuItem"_s,
                                u"GetSubtitlesWindowMenuItem"_s, u"PutSubtitlesWindowMenuItem"_s,
                                u"ItemOptionsMenuItem"_s, u"WindowMenuPrefs"_s})
        QVERIFY2(enabled(name), qPrintable(name));

    // A window that closes but has nothing to paste or preview.
    auto *window = new TargetWindow({u"FileClose"_s});
    activate(window);
    QVERIFY(enabled(u"FileClose"_s));
    QVERIFY(!enabled(u"zoomWindow"_s));
    QVERIFY(!enabled(u"EditPaste"_s));
    QTest::keyClick(window, Qt::Key_V, Qt::ControlModifier); // a disabled item's keys do nothing
    QVERIFY(!menus().choose(u"PreviewMenuItem"_s));
    QVERIFY(window->received.isEmpty());

    // A window that says nothing about what it takes is offered every
    // command but text editing.
    auto *plain = new PlainTarget;
    activate(plain);
    QVERIFY(enabled(u"zoomWindow"_s));
    QVERIFY(enabled(u"EditSelectAll"_s));
    QVERIFY(!enabled(u"EditCopy"_s));
}

void tst_Menus::editItemsWorkInTheFocusedTextField()
{
    auto *window = new TargetWindow(WindowCommands);
    auto *field = new QLineEdit(u"hello world"_s, window);
    auto *password = new QLineEdit(u"secret"_s, window);
    password->setEchoMode(QLineEdit::Password);
    password->move(0, 40);
    auto *button = new QPushButton(u"focus"_s, window);
    button->move(0, 80);
    activate(window);
    field->setFocus();
    QCOMPARE(QApplication::focusWidget(), field);

    field->deselect();
    QVERIFY(!enabled(u"EditCopy"_s)); // nothing selected
    QVERIFY(!enabled(u"EditUndo"_s));
    QVERIFY(menus().choose(u"EditSelectAll"_s));
    QCOMPARE(field->selectedText(), u"hello world"_s);
    QVERIFY(menus().choose(u"EditCopy"_s));
    QCOMPARE(QGuiApplication::clipboard()->text(), u"hello world"_s);
    QVERIFY(menus().choose(u"EditClear"_s));
    QCOMPARE(field->text(), QString());
    QVERIFY(menus().choose(u"EditUndo"_s));
    QCOMPARE(field->text(), u"hello world"_s);

    // Paste goes to the field, not to the window.
    field->setText(u"x"_s);
    field->end(false);
    QVERIFY(menus().choose(u"EditPaste"_s));
    QCOMPARE(field->text(), u"xhello world"_s);
    QVERIFY(window->received.isEmpty());

    // Nothing leaves a password field.
    password->setFocus();
    password->selectAll();
    QVERIFY(!enabled(u"EditCopy"_s));
    QVERIFY(!enabled(u"EditCut"_s));

    // Without a text field in focus the window takes the paste.
    button->setFocus();
    QVERIFY(!enabled(u"EditCopy"_s));
    QVERIFY(menus().choose(u"EditPaste"_s));
    QCOMPARE(window->received, QStringList{u"EditPaste"_s});
}

void tst_Menus::homeWindowCarriesTheMenuBar()
{
    app()->startUp();
    app()->setQuitOnLastWindowClosed(false); // the test goes on after the home window
    QPointer<homeWindow> home = app()->home();
    QVERIFY(home);
    QMenuBar *bar = MainMenubar::menuBarOf(home);
    QVERIFY(bar);
    QCOMPARE(bar->actions().size(), 4);
    // The panels keep their places below the bar; the window grows by it.
    const int barHeight = bar->isNativeMenuBar() ? 0 : bar->height();
    QCOMPARE(home->dropVids()->geometry(), QRect(0, 2 + barHeight, 160, 160));
    QCOMPARE(home->size(), QSize(320, 162 + barHeight));
    QCOMPARE(bar->width(), home->width());

    activate(home);
    QVERIFY(!enabled(u"zoomWindow"_s)); // no handler on the home window
    QVERIFY(enabled(u"EditPaste"_s));

    // Ctrl+V: the copied files go to a new download window.
    const QString video = m_dir.filePath(u"a.mkv"_s);
    QVERIFY(QFile(video).open(QIODevice::WriteOnly));
    m_platform->clipboard = {video};
    QTest::keyClick(home, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(m_created.size(), 1);
    QCOMPARE(m_created.first()->builtLists, QList<QStringList>{{video}});

    // Ctrl+W closes it.
    activate(home);
    QTest::keyClick(home, Qt::Key_W, Qt::ControlModifier);
    QVERIFY(!home || !home->isVisible());
}

void tst_Menus::applicationItems()
{
    // Ctrl+1 makes the default download window, then brings that one back.
    auto *other = new TargetWindow({});
    activate(other);
    QTest::keyClick(other, Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(m_created.size(), 1);
    QPointer<FakeWorkflowWindow> first = m_created.first();
    QVERIFY(first->isVisible());
    auto *second = new FakeWorkflowWindow(WorkflowKind::Download);
    activate(second);
    QVERIFY(menus().choose(u"GetSubtitlesWindowMenuItem"_s));
    QCOMPARE(m_created.size(), 1);
    QCOMPARE(app()->windowOrder().frontToBack().first(), first.data());

    // Both preferences items show the one preferences window.
    QVERIFY(menus().choose(u"ItemOptionsMenuItem"_s));
    QVERIFY(menus().choose(u"WindowMenuPrefs"_s));
    QList<PreferencesWindow *> prefs;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *p = qobject_cast<PreferencesWindow *>(w))
            prefs.append(p);
    }
    QCOMPARE(prefs.size(), 1);
    QVERIFY(prefs.first()->isVisible());
    // Its keys, from any window, also after the Window menu has been open.
    prefs.first()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    activate(second);
    QMenu *windowMenu = nullptr;
    for (QAction *menuAction : menus().attach(second)->actions()) {
        if (menuAction->menu() && menuAction->menu()->objectName() == "WindowMenuMenu"_L1)
            windowMenu = menuAction->menu();
    }
    QVERIFY(windowMenu);
    windowMenu->popup(second->mapToGlobal(QPoint(10, 10)));
    QTRY_VERIFY(windowMenu->isVisible());
    windowMenu->hide();
    activate(second);
    QTest::keyClick(second, Qt::Key_Comma, Qt::ControlModifier);
    bool shown = false;
    for (QWidget *w : QApplication::topLevelWidgets())
        shown = shown || (qobject_cast<PreferencesWindow *>(w) && w->isVisible());
    QVERIFY(shown);

    QVERIFY(menus().choose(u"AboutMenuItem"_s));
    QCOMPARE(m_platform->dialogs.size(), 1);
    QVERIFY(m_platform->dialogs.first().message.startsWith(u"Lumbra "_s));
}

void tst_Menus::downloadWindowTakesItsCommands()
{
    GetSubtitlesWindow::registerWith(app()->router());
    auto *other = new TargetWindow({});
    activate(other);
    QTest::keyClick(other, Qt::Key_1, Qt::ControlModifier);
    QPointer<GetSubtitlesWindow> window =
        dynamic_cast<GetSubtitlesWindow *>(app()->router().frontmostVisible(WorkflowKind::Download));
    QVERIFY(window);
    activate(window);

    // Reset Window Size: back to the smallest size in the corner, where the
    // menu bar and the whole frame below it fit, buttons included.
    window->setGeometry(200, 200, 900, 600);
    QVERIFY(enabled(u"zoomWindow"_s));
    QVERIFY(menus().choose(u"zoomWindow"_s));
    const QMenuBar *bar = MainMenubar::menuBarOf(window);
    QVERIFY(bar);
    QCOMPARE(window->size(), QSize(760, 470 + bar->height()));
    QCOMPARE(window->frame()->size(), QSize(760, 470));
    for (const QWidget *button : {static_cast<QWidget *>(window->frame()->mainButton()),
                                  static_cast<QWidget *>(window->frame()->CancelButton())}) {
        const QRect inWindow(button->mapTo(window.data(), QPoint(0, 0)), button->size());
        QVERIFY(window->rect().contains(inWindow));
    }

    // Ctrl+W while a download runs asks first; going back keeps the window.
    window->setWindowMode(u"Downloading"_s);
    m_platform->answer = Platform::CancelButton;
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(m_platform->dialogs.size(), 1);
    QCOMPARE(m_platform->dialogs.first().message, u"Subtitles marked for download"_s);
    QVERIFY(window && window->isVisible());
    window->setWindowMode(u"Downloaded"_s);
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    QTRY_VERIFY(!window); // closed and gone
    QCOMPARE(m_platform->dialogs.size(), 1);
}

// The keys go to whatever window is active, as the user's typing does.
void typeInActiveWindow(Qt::Key key)
{
    QWidget *active = QApplication::activeWindow();
    QVERIFY(active);
    QTest::keyClick(active, key, Qt::ControlModifier);
}

void tst_Menus::keysReachTheWindowTheUserSees()
{
    int made = 0;
    app()->router().setCreator(WorkflowKind::Download, [&made] {
        ++made;
        return new GetSubtitlesWindow;
    });
    QVERIFY(menus().choose(u"HomeWindowMenuItem"_s));
    QPointer<homeWindow> home = app()->home();
    QVERIFY(home);
    activate(home);

    // Open, close, open, close...: every key acts on the window in front,
    // and a closed window is never brought back.
    for (int round = 1; round <= 3; ++round) {
        typeInActiveWindow(Qt::Key_1);
        QTRY_VERIFY(qobject_cast<GetSubtitlesWindow *>(QApplication::activeWindow()));
        QPointer<GetSubtitlesWindow> window =
            qobject_cast<GetSubtitlesWindow *>(QApplication::activeWindow());
        QCOMPARE(made, round);
        QVERIFY(window->isVisible());
        typeInActiveWindow(Qt::Key_W);
        QTRY_VERIFY(!window);
        // The focus goes back to the window the user now sees.
        QTRY_COMPARE(QApplication::activeWindow(), home.data());
    }
}

void tst_Menus::quitAsksEachWindowsQuestion()
{
    GetSubtitlesWindow::registerWith(app()->router());
    auto *first = dynamic_cast<GetSubtitlesWindow *>(app()->router().showDefault(WorkflowKind::Download));
    QVERIFY(first);
    QPointer<GetSubtitlesWindow> edited = first;
    edited->setWindowMode(u"NotDownloaded"_s); // a failed download
    activate(edited);

    // Going back keeps the window and the application.
    m_platform->answer = Platform::CancelButton;
    QSignalSpy quitting(app(), &QCoreApplication::aboutToQuit);
    typeInActiveWindow(Qt::Key_Q);
    QCOMPARE(m_platform->dialogs.size(), 1);
    QCOMPARE(m_platform->dialogs.first().message, u"Subtitles marked for download"_s);
    QVERIFY(edited && edited->isVisible());
    QCOMPARE(quitting.size(), 0);
}

void tst_Menus::openTakesVideosSubtitlesAndFolders()
{
    QStringList offered;
    for (const QString &name : {u"Film.mkv"_s, u"Film.en.srt"_s}) {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        offered.append(file.fileName());
    }
    offered.append(m_dir.path());
    QList<FakeWorkflowWindow *> uploads;
    app()->router().setCreator(WorkflowKind::Upload, [&uploads] {
        auto *w = new FakeWorkflowWindow(WorkflowKind::Upload);
        uploads.append(w);
        return w;
    });
    int asked = 0;
    app()->setOpenChooser([&] {
        ++asked;
        return offered;
    });
    auto *other = new TargetWindow({});
    activate(other);
    QTest::keyClick(other, Qt::Key_O, Qt::ControlModifier);
    app()->setOpenChooser({});
    PutSubtitles::registerWith(app()->router());
    QCOMPARE(asked, 1);
    QCOMPARE(m_created.size(), 1);
    QCOMPARE(m_created.first()->built, (QStringList{offered.at(0), offered.at(2)}));
    QCOMPARE(uploads.size(), 1);
    QCOMPARE(uploads.first()->built, QStringList{offered.at(1)});
}

LUMBRA_TEST_MAIN_WITH_APP(tst_Menus, App)

#include "tst_Menus.moc"

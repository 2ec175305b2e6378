#include "window/MainMenubar.h"

#include "common/translationStrings.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {
// Marks the bar attach gave a window, so menuBarOf finds it among the children.
constexpr const char BarName[] = "MainMenubar";
// Marks the Window menu's items that stand for open windows.
constexpr const char OpenWindowItem[] = "lumbraOpenWindow";

// A shortcut written the way the menus are described ("Cmd+W") in Qt's
// terms: the command key of that description is Ctrl here.
QKeySequence keysOf(const QString &shortcut)
{
    QString keys = shortcut;
    keys.replace("Cmd+"_L1, "Ctrl+"_L1);
    return QKeySequence(keys, QKeySequence::PortableText);
}
} // namespace

MainMenubar::MainMenubar(Runner run, Query enabled, QObject *parent)
    : QObject(parent)
    , m_run(std::move(run))
    , m_enabled(std::move(enabled))
{
    using namespace translationStrings;

    Menu file{u"FileMenu"_s, FileMenuItem(), {}};
    addItem(file, u"FileOpen"_s, u"Open…"_s, u"Cmd+O"_s);
    addSeparator(file, u"OpenSeparator"_s);
    addItem(file, u"AboutMenuItem"_s, u"About Lumbra"_s, {})->setMenuRole(QAction::AboutRole);
    addSeparator(file, u"AboutSeparator"_s);
    addItem(file, u"FileQuit"_s, u"Quit"_s, u"Cmd+Q"_s)->setMenuRole(QAction::QuitRole);
    m_menus.append(file);

    Menu edit{u"EditMenuMenu"_s, EditMenuItem(), {}};
    addItem(edit, u"EditUndo"_s, u"&Undo"_s, u"Cmd+Z"_s);
    addSeparator(edit, u"UntitledMenu1"_s);
    addItem(edit, u"EditCut"_s, u"Cu&t"_s, u"Cmd+X"_s);
    addItem(edit, u"EditCopy"_s, u"&Copy"_s, u"Cmd+C"_s);
    addItem(edit, u"EditPaste"_s, u"&Paste"_s, u"Cmd+V"_s);
    addItem(edit, u"EditClear"_s, u"&Delete"_s, {});
    addSeparator(edit, u"UntitledMenu0"_s);
    addItem(edit, u"EditSelectAll"_s, u"Select &All"_s, u"Cmd+A"_s);
    addSeparator(edit, u"UntitledSeparator0"_s);
    addItem(edit, u"ItemOptionsMenuItem"_s, OptionsMenuItem(), u"Cmd+,"_s)
        ->setMenuRole(QAction::PreferencesRole);
    m_menus.append(edit);

    Menu action{u"ActionMenu"_s, u"Action"_s, {}};
    addItem(action, u"PreviewMenuItem"_s, menuPreviewSubText(), u"Cmd+P"_s);
    m_menus.append(action);

    Menu window{u"WindowMenuMenu"_s, WindowMenuItem(), {}};
    addItem(window, u"FileClose"_s, CloseMenuItem(), u"Cmd+W"_s);
    addItem(window, u"zoomWindow"_s, u"Reset Window Size"_s, {});
    addSeparator(window, u"UntitledSeparator"_s);
    addItem(window, u"HomeWindowMenuItem"_s, homeWindowTitle(), u"Cmd+0"_s);
    addItem(window, u"GetSubtitlesWindowMenuItem"_s, GetSubtitlesMenuTitle(), u"Cmd+1"_s);
    addItem(window, u"PutSubtitlesWindowMenuItem"_s, PutSubtitlesWindowTitle(), u"Cmd+2"_s);
    // No keys of its own: two actions with the same keys cancel each other
    // out ("ambiguous shortcut"), in whatever context once a menu has shown
    // them. The Edit menu's twin has Ctrl+,.
    addItem(window, u"WindowMenuPrefs"_s, OptionsMenuItem(), {})->setMenuRole(QAction::PreferencesRole);
    m_menus.append(window);
}

MainMenubar::~MainMenubar() = default;

QAction *MainMenubar::addItem(Menu &menu, const QString &name, const QString &text, const QString &shortcut)
{
    auto *action = new QAction(text, this);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(keysOf(shortcut));
    // The menus stay the same in every window: a shortcut of a window's own
    // bar should not lose to the same item in another window.
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, name] { m_run(name); });
    menu.items.append(action);
    return action;
}

void MainMenubar::addSeparator(Menu &menu, const QString &name)
{
    auto *separator = new QAction(this);
    separator->setObjectName(name);
    separator->setSeparator(true);
    menu.items.append(separator);
}

QStringList MainMenubar::menuNames()
{
    return {u"FileMenu"_s, u"EditMenuMenu"_s, u"ActionMenu"_s, u"WindowMenuMenu"_s};
}

QStringList MainMenubar::itemNames(const QString &menuName) const
{
    QStringList names;
    for (const Menu &menu : m_menus) {
        if (menu.name.compare(menuName, Qt::CaseInsensitive) != 0)
            continue;
        for (const QAction *action : menu.items)
            names.append(action->objectName());
    }
    return names;
}

QString MainMenubar::menuTitle(const QString &menuName) const
{
    for (const Menu &menu : m_menus) {
        if (menu.name.compare(menuName, Qt::CaseInsensitive) == 0)
            return menu.title;
    }
    return {};
}

QAction *MainMenubar::item(const QString &name) const
{
    for (const Menu &menu : m_menus) {
        for (QAction *action : menu.items) {
            if (action->objectName().compare(name, Qt::CaseInsensitive) == 0)
                return action;
        }
    }
    return nullptr;
}

QList<QAction *> MainMenubar::commandItems() const
{
    QList<QAction *> items;
    for (const Menu &menu : m_menus) {
        for (QAction *action : menu.items) {
            if (!action->isSeparator())
                items.append(action);
        }
    }
    return items;
}

QMenu *MainMenubar::buildMenu(const Menu &menu, QMenuBar *bar)
{
    // Parentless: windows come and go (and tests delete every window at
    // once); a menu owned by nobody's window is never deleted twice. It goes
    // with its bar.
    auto *qmenu = new QMenu(menu.title);
    qmenu->setObjectName(menu.name);
    qmenu->addActions(menu.items);
    connect(qmenu, &QMenu::aboutToShow, this, &MainMenubar::updateEnabling);
    if (menu.name == "WindowMenuMenu"_L1)
        connect(qmenu, &QMenu::aboutToShow, this, [this, qmenu] { listOpenWindows(qmenu); });
    const QPointer<QMenu> guard(qmenu);
    connect(bar, &QObject::destroyed, this, [guard] {
        if (guard)
            guard->deleteLater();
    });
    bar->addMenu(qmenu);
    return qmenu;
}

QList<QWidget *> MainMenubar::openWindows()
{
    QList<QWidget *> windows;
    const QList<QWidget *> all = QApplication::topLevelWidgets();
    for (QWidget *window : all) {
        if (window->isVisible() && window->windowType() == Qt::Window && !window->windowTitle().isEmpty())
            windows.append(window);
    }
    std::sort(windows.begin(), windows.end(),
              [](const QWidget *a, const QWidget *b) { return a->windowTitle() < b->windowTitle(); });
    return windows;
}

// The Window menu ends with the open windows, the active one ticked; choosing
// one brings it to the front. Built afresh each time the menu opens, since
// windows come and go and change their titles.
void MainMenubar::listOpenWindows(QMenu *menu)
{
    const QList<QAction *> old = menu->actions();
    for (QAction *action : old) {
        if (action->property(OpenWindowItem).toBool())
            delete action;
    }
    const QList<QWidget *> windows = openWindows();
    if (windows.isEmpty())
        return;
    menu->addSeparator()->setProperty(OpenWindowItem, true);
    for (QWidget *window : windows) {
        QAction *item = menu->addAction(QString(window->windowTitle()).remove("[*]"_L1));
        item->setProperty(OpenWindowItem, true);
        item->setCheckable(true);
        item->setChecked(window == QApplication::activeWindow());
        const QPointer<QWidget> target(window);
        connect(item, &QAction::triggered, this, [target] {
            if (!target)
                return;
            target->showNormal();
            target->raise();
            target->activateWindow();
        });
    }
}

QMenuBar *MainMenubar::attach(QWidget *window)
{
    if (QMenuBar *bar = menuBarOf(window))
        return bar;
    auto *bar = new QMenuBar(window);
    bar->setObjectName(QString::fromLatin1(BarName));
    for (const Menu &menu : std::as_const(m_menus))
        buildMenu(menu, bar);
    addShortcutsTo(window);

    if (bar->isNativeMenuBar())
        return bar; // the desktop shows it; the window keeps all its room
    if (QLayout *layout = window->layout()) {
        layout->setMenuBar(bar);
        // A minimum the window set for its content alone grows by the bar,
        // once: the content keeps all of its own minimum below the bar.
        layout->activate();
        const QSize minimum = window->minimumSize().expandedTo(layout->totalMinimumSize());
        window->setMinimumSize(minimum);
        window->resize(window->size().expandedTo(minimum));
        return bar;
    }
    // Children at fixed places: move them below the bar and grow the window.
    const int height = bar->sizeHint().height();
    const QList<QWidget *> children = window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (child != bar && !child->isWindow())
            child->move(child->x(), child->y() + height);
    }
    const QSize minimum = window->minimumSize();
    const QSize maximum = window->maximumSize();
    if (maximum.height() < QWIDGETSIZE_MAX)
        window->setMaximumHeight(maximum.height() + height);
    window->setMinimumHeight(minimum.height() + height);
    window->resize(window->width(), window->height() + height);
    bar->setGeometry(0, 0, window->width(), height);
    window->installEventFilter(this);
    return bar;
}

QMenuBar *MainMenubar::menuBarOf(const QWidget *window)
{
    return window ? window->findChild<QMenuBar *>(QString::fromLatin1(BarName), Qt::FindDirectChildrenOnly)
                  : nullptr;
}

void MainMenubar::watchWindows()
{
    if (m_watching)
        return;
    m_watching = true;
    qApp->installEventFilter(this);
    // Later, not in the middle of the change: the focus also moves while a
    // window is being deleted.
    connect(qApp, &QApplication::focusChanged, this, &MainMenubar::scheduleUpdate);
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->isVisible() && window->windowType() == Qt::Window)
            addShortcutsTo(window);
    }
}

void MainMenubar::addShortcutsTo(QWidget *window)
{
    const QList<QAction *> present = window->actions();
    for (QAction *action : commandItems()) {
        if (action->shortcutContext() == Qt::WindowShortcut && !present.contains(action))
            window->addAction(action);
    }
}

void MainMenubar::updateEnabling()
{
    for (QAction *action : commandItems())
        action->setEnabled(m_enabled(action->objectName()));
}

void MainMenubar::scheduleUpdate()
{
    if (m_updatePending)
        return;
    m_updatePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_updatePending = false;
            updateEnabling();
        },
        Qt::QueuedConnection);
}

bool MainMenubar::choose(const QString &name)
{
    QAction *action = item(name);
    if (!action)
        return false;
    updateEnabling();
    if (!action->isEnabled())
        return false;
    return m_run(action->objectName());
}

bool MainMenubar::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Sent just before a key is matched against the shortcuts: the items
        // must say now whether they can be chosen.
        updateEnabling();
        break;
    case QEvent::Show:
        if (auto *window = qobject_cast<QWidget *>(watched);
            m_watching && window && window->isWindow() && window->windowType() == Qt::Window)
            addShortcutsTo(window);
        break;
    case QEvent::Resize:
        if (auto *window = qobject_cast<QWidget *>(watched); window && window->isWindow()) {
            if (QMenuBar *bar = menuBarOf(window); bar && !bar->isNativeMenuBar())
                bar->setGeometry(0, 0, window->width(), bar->height());
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

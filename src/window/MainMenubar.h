#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

// Lumbra's menus: File, Edit, Action and Window, with their items and
// keyboard shortcuts. Every item has a name ("FileClose", "EditPaste", ...);
// choosing it, by mouse or shortcut, runs the command of that name, which the
// front window carries out when it can and the application otherwise.
//
// The items exist once; each window that shows a menu bar gets its own bar
// holding them (attach), and the shortcuts work in every window of the
// application (watchWindows). An item is enabled while somebody can take its
// command; that is asked again whenever a menu opens, the focus moves or a
// shortcut is about to be matched.
class MainMenubar final : public QObject {
    Q_OBJECT
public:
    // Carries out a command, true when handled; and whether it could be now.
    using Runner = std::function<bool(const QString &name)>;
    using Query = std::function<bool(const QString &name)>;

    MainMenubar(Runner run, Query enabled, QObject *parent = nullptr);
    ~MainMenubar() override;

    // The menus' names, in order: "FileMenu", "EditMenuMenu", "ActionMenu",
    // "WindowMenuMenu".
    static QStringList menuNames();
    // The item names of one menu in order, separators included.
    QStringList itemNames(const QString &menuName) const;
    // The menu's title.
    QString menuTitle(const QString &menuName) const;

    // The item named `name` (names ignore letter case), or null.
    QAction *item(const QString &name) const;
    // Every item that carries a command, in menu order.
    QList<QAction *> commandItems() const;

    // Gives `window` a menu bar with the menus. Where the desktop shows an
    // application menu bar of its own, the bar goes there and the window is
    // left as it is. Otherwise the bar stands at the top of the window: a
    // window with a layout makes room through the layout; in one whose
    // children stand at fixed places, they move down by the bar's height
    // and the window grows by as much. Attaching twice gives the same bar.
    QMenuBar *attach(QWidget *window);
    // The bar attach gave `window`, or null.
    static QMenuBar *menuBarOf(const QWidget *window);

    // From now on every window of the application that is shown (plain
    // windows, not dialogs or popups) takes the shortcuts.
    void watchWindows();
    // Gives `window` the shortcuts (done by watchWindows for shown windows).
    void addShortcutsTo(QWidget *window);

    // Enables each item while its command can be carried out.
    void updateEnabling();

    // The application's open windows as the Window menu lists them, by title.
    static QList<QWidget *> openWindows();

    // Runs the command of `name` as if its item had been chosen; false when
    // it is disabled or nobody handled it.
    bool choose(const QString &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Menu {
        QString name;
        QString title;
        QList<QAction *> items; // separators included
    };

    QAction *addItem(Menu &menu, const QString &name, const QString &text, const QString &shortcut);
    void addSeparator(Menu &menu, const QString &name);
    QMenu *buildMenu(const Menu &menu, QMenuBar *bar);
    void listOpenWindows(QMenu *menu);
    void scheduleUpdate();

    Runner m_run;
    Query m_enabled;
    QList<Menu> m_menus;
    bool m_watching = false;
    bool m_updatePending = false;
};

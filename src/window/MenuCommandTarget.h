#pragma once

#include <QLatin1StringView>
#include <QString>

// A window that carries out menu commands. A command goes to the front
// window first; when that window does not handle it, to the application.
class MenuCommandTarget {
public:
    virtual ~MenuCommandTarget() = default;

    // Carries out the command named `name` ("FileClose", "EditPaste", ...).
    // True when it counts as handled.
    virtual bool menuCommand(const QString &name) = 0;

    // Whether the window would carry out `name` now. The menu bar enables an
    // item while the front window or the application can take it; asked
    // often (every time a menu opens or a shortcut is pressed), so keep it
    // cheap. A window that does not say is offered every command except the
    // text-editing ones (undo, cut, copy, delete), which belong to the text
    // field that has the focus.
    virtual bool canHandleMenuCommand(const QString &name) const
    {
        for (const QLatin1StringView textOnly :
             {QLatin1StringView("EditUndo"), QLatin1StringView("EditCut"), QLatin1StringView("EditCopy"),
              QLatin1StringView("EditClear")}) {
            if (name.compare(textOnly, Qt::CaseInsensitive) == 0)
                return false;
        }
        return true;
    }
};

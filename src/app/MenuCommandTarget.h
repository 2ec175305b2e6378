#pragma once

#include <QString>

// A window that carries out menu commands. A command goes to the front
// window first; when that window does not handle it, to the application.
class MenuCommandTarget {
public:
    virtual ~MenuCommandTarget() = default;

    // Carries out the command named `name` ("FileClose", "EditPaste", ...).
    // True when it counts as handled.
    virtual bool menuCommand(const QString &name) = 0;
};

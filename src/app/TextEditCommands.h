#pragma once

#include <QString>

class QWidget;

// The standard editing commands of the Edit menu ("EditUndo", "EditCut",
// "EditCopy", "EditPaste", "EditClear", "EditSelectAll") carried out in the
// widget that has the keyboard focus: a text field or text area, and for
// "EditSelectAll" also a list that allows choosing several rows. Lumbra's
// windows add nothing of their own to these, except "EditPaste", which a
// window takes when no text field has the focus.
namespace TextEditCommands {

// Whether `name` is one of the editing commands above.
bool isEditCommand(const QString &name);

// Whether `focus` can carry out `name` now (a selection to cut or copy,
// something to undo, a field that is not read-only, ...).
bool canEdit(const QWidget *focus, const QString &name);

// Carries out `name` in `focus`; false when it cannot.
bool edit(QWidget *focus, const QString &name);

} // namespace TextEditCommands

#include "app/TextEditCommands.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace TextEditCommands {
namespace {

enum class Command { None, Undo, Cut, Copy, Paste, Clear, SelectAll };

Command commandOf(const QString &name)
{
    static const std::pair<QLatin1StringView, Command> table[] = {
        {"EditUndo"_L1, Command::Undo},   {"EditCut"_L1, Command::Cut},
        {"EditCopy"_L1, Command::Copy},   {"EditPaste"_L1, Command::Paste},
        {"EditClear"_L1, Command::Clear}, {"EditSelectAll"_L1, Command::SelectAll},
    };
    for (const auto &[key, command] : table) {
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return command;
    }
    return Command::None;
}

// The line edit behind a focused field, editable combo boxes included.
QLineEdit *lineEditOf(const QWidget *focus)
{
    if (auto *line = qobject_cast<QLineEdit *>(const_cast<QWidget *>(focus)))
        return line;
    if (auto *combo = qobject_cast<const QComboBox *>(focus))
        return combo->isEditable() ? combo->lineEdit() : nullptr;
    return nullptr;
}

bool lineCan(const QLineEdit *line, Command command)
{
    // A password field shows no text, so nothing leaves it through the clipboard.
    const bool plain = line->echoMode() == QLineEdit::Normal;
    switch (command) {
    case Command::Undo:
        return !line->isReadOnly() && line->isUndoAvailable();
    case Command::Cut:
        return plain && !line->isReadOnly() && line->hasSelectedText();
    case Command::Copy:
        return plain && line->hasSelectedText();
    case Command::Paste:
        return !line->isReadOnly();
    case Command::Clear:
        return !line->isReadOnly() && line->hasSelectedText();
    case Command::SelectAll:
        return !line->text().isEmpty();
    case Command::None:
        break;
    }
    return false;
}

template<typename Editor> bool textCan(const Editor *editor, Command command)
{
    const bool selected = editor->textCursor().hasSelection();
    switch (command) {
    case Command::Undo:
        return !editor->isReadOnly() && editor->document()->isUndoAvailable();
    case Command::Cut:
    case Command::Clear:
        return !editor->isReadOnly() && selected;
    case Command::Copy:
        return selected;
    case Command::Paste:
        return !editor->isReadOnly();
    case Command::SelectAll:
        return !editor->document()->isEmpty();
    case Command::None:
        break;
    }
    return false;
}

template<typename Editor> void textDo(Editor *editor, Command command)
{
    switch (command) {
    case Command::Undo:
        editor->undo();
        break;
    case Command::Cut:
        editor->cut();
        break;
    case Command::Copy:
        editor->copy();
        break;
    case Command::Paste:
        editor->paste();
        break;
    case Command::Clear:
        editor->textCursor().removeSelectedText();
        break;
    case Command::SelectAll:
        editor->selectAll();
        break;
    case Command::None:
        break;
    }
}

bool listCanSelectAll(const QAbstractItemView *view)
{
    const auto mode = view->selectionMode();
    return mode == QAbstractItemView::ExtendedSelection || mode == QAbstractItemView::MultiSelection;
}

} // namespace

bool isEditCommand(const QString &name)
{
    return commandOf(name) != Command::None;
}

bool canEdit(const QWidget *focus, const QString &name)
{
    const Command command = commandOf(name);
    if (!focus || command == Command::None || !focus->isEnabled())
        return false;
    if (const QLineEdit *line = lineEditOf(focus))
        return lineCan(line, command);
    if (auto *text = qobject_cast<const QTextEdit *>(focus))
        return textCan(text, command);
    if (auto *plain = qobject_cast<const QPlainTextEdit *>(focus))
        return textCan(plain, command);
    if (auto *view = qobject_cast<const QAbstractItemView *>(focus))
        return command == Command::SelectAll && listCanSelectAll(view);
    return false;
}

bool edit(QWidget *focus, const QString &name)
{
    if (!canEdit(focus, name))
        return false;
    const Command command = commandOf(name);
    if (QLineEdit *line = lineEditOf(focus)) {
        switch (command) {
        case Command::Undo:
            line->undo();
            break;
        case Command::Cut:
            line->cut();
            break;
        case Command::Copy:
            line->copy();
            break;
        case Command::Paste:
            line->paste();
            break;
        case Command::Clear:
            line->del();
            break;
        case Command::SelectAll:
            line->selectAll();
            break;
        case Command::None:
            break;
        }
        return true;
    }
    if (auto *text = qobject_cast<QTextEdit *>(focus)) {
        textDo(text, command);
        return true;
    }
    if (auto *plain = qobject_cast<QPlainTextEdit *>(focus)) {
        textDo(plain, command);
        return true;
    }
    if (auto *view = qobject_cast<QAbstractItemView *>(focus)) {
        view->selectAll();
        return true;
    }
    return false;
}

} // namespace TextEditCommands

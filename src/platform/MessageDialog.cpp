#include "platform/MessageDialog.h"

#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {
// The caption to show: the given one, unless it is too short to be meant.
bool usesOwnCaption(const QString &caption)
{
    return caption.size() > 1;
}
} // namespace

MessageDialog::MessageDialog(const MessageDialogRequest &request, QWidget *parent)
    : QMessageBox(parent)
{
    if (request.kind.compare("ask"_L1, Qt::CaseInsensitive) == 0)
        setIcon(QMessageBox::Question);
    else if (request.kind.compare("note"_L1, Qt::CaseInsensitive) == 0)
        setIcon(QMessageBox::Information);
    else if (request.kind.compare("stop"_L1, Qt::CaseInsensitive) == 0)
        setIcon(QMessageBox::Critical);

    m_action = addButton(QMessageBox::Ok);
    if (usesOwnCaption(request.actionCaption))
        m_action->setText(request.actionCaption);
    if (!request.cancelCaption.isEmpty()) {
        m_cancel = addButton(QMessageBox::Cancel);
        if (usesOwnCaption(request.cancelCaption))
            m_cancel->setText(request.cancelCaption);
    }
    if (!request.alternateCaption.isEmpty()) {
        // The third button of such dialogs is the one that discards changes.
        m_alternate = addButton(QMessageBox::Discard);
        if (usesOwnCaption(request.alternateCaption))
            m_alternate->setText(request.alternateCaption);
    }
    setDefaultButton(qobject_cast<QPushButton *>(m_action));
    if (m_cancel)
        setEscapeButton(m_cancel);

    setText(request.message);
    setInformativeText(request.explanation);
}

int MessageDialog::answer() const
{
    const QAbstractButton *clicked = clickedButton();
    if (!clicked)
        return Platform::NoButton;
    if (clicked == m_action)
        return Platform::ActionButton;
    if (clicked == m_cancel)
        return Platform::CancelButton;
    if (clicked == m_alternate)
        return Platform::AlternateButton;
    return Platform::NoButton;
}

#include "platform/MessageDialog.h"

#include "controls/ShownText.h"

#include <QCoreApplication>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace {
// The caption to show: the given one, unless it is too short to be meant.
bool usesOwnCaption(const QString &caption)
{
    return caption.size() > 1;
}

void setCaption(QAbstractButton *button, const QString &caption)
{
    if (usesOwnCaption(caption))
        button->setText(captionAsWritten(caption));
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
    setCaption(m_action, request.actionCaption);
    if (!request.cancelCaption.isEmpty()) {
        m_cancel = addButton(QMessageBox::Cancel);
        setCaption(m_cancel, request.cancelCaption);
    }
    if (!request.alternateCaption.isEmpty()) {
        // The third button of such dialogs is the one that discards changes.
        m_alternate = addButton(QMessageBox::Discard);
        setCaption(m_alternate, request.alternateCaption);
    }
    setDefaultButton(qobject_cast<QPushButton *>(m_action));
    if (m_cancel)
        setEscapeButton(m_cancel);

    // Titled with the application's name as people write it ("Lumbra"),
    // not the program file's.
    QString title = QCoreApplication::applicationName();
    if (!title.isEmpty())
        title[0] = title[0].toUpper();
    setWindowTitle(title);
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

#pragma once

#include "platform/Platform.h"

#include <QMessageBox>

// The message dialog behind Platform::showMessageDialog: an icon chosen by
// kind, an action button and optional cancel and alternate buttons. A
// caption of one character or less keeps the button's standard text; an
// empty cancel or alternate caption leaves that button out.
class MessageDialog final : public QMessageBox {
    Q_OBJECT
public:
    explicit MessageDialog(const MessageDialogRequest &request, QWidget *parent = nullptr);

    QAbstractButton *actionButton() const { return m_action; }
    QAbstractButton *cancelButton() const { return m_cancel; }
    QAbstractButton *alternateButton() const { return m_alternate; }

    // 1 for the action button, 2 for cancel, 3 for the alternate button, 0
    // when the dialog closed otherwise.
    int answer() const;

private:
    QAbstractButton *m_action = nullptr;
    QAbstractButton *m_cancel = nullptr;
    QAbstractButton *m_alternate = nullptr;
};

#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

// Counts the windows of type W that are shown, from its making until stop()
// or its end, whichever thread asked for them.
template<typename W> class ShowCounter final : public QObject {
public:
    ShowCounter() { QCoreApplication::instance()->installEventFilter(this); }

    int count() const { return m_count; }
    void stop() { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<W *>(watched))
            ++m_count;
        return false;
    }

private:
    int m_count = 0;
};

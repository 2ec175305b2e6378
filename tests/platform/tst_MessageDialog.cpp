#include "platform/MessageDialog.h"
#include "TestMain.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

class tst_MessageDialog final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void buttons_data();
    void buttons();
    void answers_data();
    void answers();
};

void tst_MessageDialog::buttons_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("captions"); // action, cancel, alternate
    QTest::addColumn<int>("icon");
    QTest::addColumn<QStringList>("shown"); // texts of the buttons shown, "" when hidden

    QTest::newRow("ask, own captions")
        << u"ask"_s << QStringList{u"Close"_s, u"Keep"_s, u"Save"_s} << int(QMessageBox::Question)
        << QStringList{u"Close"_s, u"Keep"_s, u"Save"_s};
    QTest::newRow("note, single characters keep the standard text")
        << u"NOTE"_s << QStringList{u"x"_s, u"-"_s, QString()} << int(QMessageBox::Information)
        << QStringList{u"OK"_s, u"Cancel"_s, QString()};
    QTest::newRow("stop, only the action button")
        << u"stop"_s << QStringList{u"Quit"_s, QString(), QString()} << int(QMessageBox::Critical)
        << QStringList{u"Quit"_s, QString(), QString()};
    QTest::newRow("other kind keeps the default icon")
        << u"caution"_s << QStringList{QString(), QString(), QString()} << int(QMessageBox::NoIcon)
        << QStringList{u"OK"_s, QString(), QString()};
}

void tst_MessageDialog::buttons()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, captions);
    QFETCH(int, icon);
    QFETCH(QStringList, shown);

    MessageDialog dialog({kind, captions[0], captions[1], captions[2], u"Message"_s, u"Explanation"_s});
    QCOMPARE(int(dialog.icon()), icon);
    QCOMPARE(dialog.text(), u"Message"_s);
    QCOMPARE(dialog.informativeText(), u"Explanation"_s);
    const QAbstractButton *buttons[] = {dialog.actionButton(), dialog.cancelButton(),
                                        dialog.alternateButton()};
    for (int i = 0; i < 3; ++i) {
        if (shown[i].isEmpty()) {
            QVERIFY2(!buttons[i], qPrintable(u"button %1 should be hidden"_s.arg(i)));
        } else {
            QVERIFY(buttons[i]);
            QCOMPARE(buttons[i]->text().remove(u'&'), shown[i]);
        }
    }
}

void tst_MessageDialog::answers_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("answer");
    QTest::newRow("action") << 0 << 1;
    QTest::newRow("cancel") << 1 << 2;
    QTest::newRow("alternate") << 2 << 3;
    QTest::newRow("closed otherwise") << -1 << 0;
}

void tst_MessageDialog::answers()
{
    QFETCH(int, button);
    QFETCH(int, answer);

    MessageDialog dialog({u"ask"_s, u"Yes"_s, u"No"_s, u"Later"_s, u"Message"_s, QString()});
    QAbstractButton *buttons[] = {dialog.actionButton(), dialog.cancelButton(), dialog.alternateButton()};
    QTimer::singleShot(0, &dialog, [&] {
        if (button >= 0)
            buttons[button]->click();
        else
            dialog.done(0);
    });
    dialog.exec();
    QCOMPARE(dialog.answer(), answer);
}

LUMBRA_TEST_MAIN(tst_MessageDialog)
#include "tst_MessageDialog.moc"

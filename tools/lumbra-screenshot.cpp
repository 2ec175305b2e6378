// Renders the home window and an empty workflow frame to PNG files, for the
// README and for looking at the drawing without clicking through the program.
//   lumbra-screenshot OUTPUT-FOLDER
// Preferences go to a throw-away file; nothing of the user's is read or written.

#include "app/DocumentRouter.h"
#include "app/homeWindow.h"
#include "app/WindowOrder.h"
#include "app/WorkflowFrame.h"
#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "prefs/translationStrings.h"
#include "prefs/XPrefs.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

namespace {
bool save(QWidget *widget, const QString &path)
{
    widget->show();
    // Let the first paints (font fitting, pictures) happen before grabbing.
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    const bool ok = widget->grab().save(path, "PNG");
    QTextStream(stdout) << (ok ? "wrote " : "could not write ") << path << Qt::endl;
    return ok;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: lumbra-screenshot OUTPUT-FOLDER" << Qt::endl;
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(u"."_s))
        return 1;
    QTemporaryDir scratch;
    XPrefs::setFilePathForTesting(scratch.filePath(u"prefs.plist"_s));

    WindowOrder order;
    DocumentRouter router(&order);
    auto *home = new homeWindow(router);
    bool ok = save(home, out.filePath(u"home-window.png"_s));

    WorkflowFrame frame;
    frame.setDropCaptions(translationStrings::DragVideosHere(), translationStrings::DragVideosHereDrag());
    frame.mainButton()->setCaption(translationStrings::SearchSubsButtonTitle());
    frame.setList(new omiListbox);
    ok = save(&frame, out.filePath(u"workflow-frame.png"_s)) && ok;

    delete home;
    return ok ? 0 : 1;
}

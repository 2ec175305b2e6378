#include "window/WindowHost.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

WindowHost::WindowHost(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

WindowHost *WindowHost::instance()
{
    return qobject_cast<WindowHost *>(QCoreApplication::instance());
}

QString WindowHost::displayNameOf(const QString &executableName)
{
    const qsizetype exe = executableName.indexOf(".exe"_L1);
    QString name = exe < 0 ? executableName : executableName.left(exe);
    // Program files are named in lower case ("lumbra"); a name is shown
    // the way it is written ("Lumbra").
    if (!name.isEmpty())
        name[0] = name[0].toUpper();
    return name;
}

QString WindowHost::DisplayName()
{
    return displayNameOf(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
}

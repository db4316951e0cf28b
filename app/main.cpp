// The desktop program: builds its objects and runs the message loop until
// the main window closes.
#include "app/desktopprogram.h"
#include "desktop/desktop.h"
#include "settings/settings.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Lets the desktop match the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("de.kaviro.Kaviro"));

    kaviro::installGermanStandardButtons();

    kaviro::QtDesktop desktop;
    kaviro::DesktopProgram program(desktop, kaviro::settingsFileName());

    QObject::connect(&program.mainWindow(), &kaviro::MainWindow::closed, &application, &QApplication::quit);
    program.mainWindow().show();
    return QApplication::exec();
}

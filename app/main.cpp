// The desktop program: creates the four top-level objects in their order and
// runs the message loop until the main window closes.
#include "app/appcontext.h"
#include "app/desktop.h"
#include "app/mainwindow.h"
#include "publish/uploaddialog.h"
#include "settings/optionsdialog.h"
#include "settings/settings.h"
#include "store/datamodule.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Lets the desktop match the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("de.kaviro.Kaviro"));

    kaviro::installGermanStandardButtons();

    kaviro::QtDesktop desktop;
    kaviro::AppContext app{desktop, kaviro::settingsFileName()};

    kaviro::MainWindow mainWindow(app);
    app.mainWindow = &mainWindow;
    kaviro::OptionsDialog options(app);
    app.options = &options;
    kaviro::DataModule data;
    app.data = &data;
    kaviro::UploadDialog upload(app);
    app.upload = &upload;

    QObject::connect(&mainWindow, &kaviro::MainWindow::closed, &application, &QApplication::quit);
    mainWindow.show();
    return QApplication::exec();
}

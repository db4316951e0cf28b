// How long the desktop program takes until its window answers on a table
// of the size given, and the memory it holds then. window_bench.sh feeds it
// databases of several sizes; it is timed from inside, since the window
// never ends by itself.
//
// Usage: kaviro_window_bench SETTINGS_FILE
// Prints: milliseconds until the start-up sequence has run and the event
// loop is idle again, the rows the grid's model holds, and the peak
// resident memory in KiB.

#include "app/desktopprogram.h"
#include "desktop/desktop.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

long peakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("Aufruf: kaviro_window_bench EINSTELLUNGSDATEI\n", stderr);
        return 2;
    }
    QApplication application(argc, argv);
    QElapsedTimer clock;
    clock.start();

    kaviro::QtDesktop desktop;
    kaviro::DesktopProgram program(desktop, argv[1]);
    kaviro::MainWindow &window = program.mainWindow();
    window.show();
    while (!window.startupDone())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // The window answers once the events the start-up queued are handled.
    QCoreApplication::processEvents();
    const qint64 elapsed = clock.elapsed();

    const auto *grid = window.findChild<QTableView *>(QStringLiteral("DBGrid1"));
    const int rows = grid && grid->model() ? grid->model()->rowCount() : -1;
    std::printf("%lld %d %ld\n", static_cast<long long>(elapsed), rows, peakResidentKiB());
    return 0;
}

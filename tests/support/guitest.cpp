#include "tests/support/guitest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <cstdlib>

namespace kaviro::test {

QApplication &guiApplication()
{
    static int argc = 1;
    static char name[] = "kaviro_app_tests";
    static char *argv[] = {name, nullptr};
    static QApplication *application = [] {
        // Read by QLocale::system() when the application starts.
        setenv("LC_ALL", "de_DE.UTF-8", 1);
        setenv("LANG", "de_DE.UTF-8", 1);
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *application;
}

bool waitFor(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 5000)
            return false;
        QTest::qWait(5);
    }
    return true;
}

QString artifactPath(const QString &name)
{
    const QString folder = QStringLiteral(KAVIRO_BINARY_DIR "/artifacts");
    QDir().mkpath(folder);
    return folder + u'/' + name;
}

} // namespace kaviro::test

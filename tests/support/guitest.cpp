#include "tests/support/guitest.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QElapsedTimer>
#include <QTest>

#include <cstdlib>

using namespace Qt::StringLiterals;

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

namespace {

bool isInput(const QWidget *widget)
{
    // The text field inside a spin or combo box stands for its owner.
    if (qobject_cast<const QLineEdit *>(widget)
        && (qobject_cast<const QAbstractSpinBox *>(widget->parentWidget())
            || qobject_cast<const QComboBox *>(widget->parentWidget())))
        return false;
    return qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget)
        || qobject_cast<const QPlainTextEdit *>(widget) || qobject_cast<const QAbstractButton *>(widget)
        || qobject_cast<const QComboBox *>(widget);
}

} // namespace

QStringList inputsHiddenFromClicks(QWidget *window)
{
    QStringList hidden;
    for (QWidget *input : window->findChildren<QWidget *>()) {
        if (!input->isVisible() || !isInput(input) || input->width() < 3 || input->height() < 3)
            continue;
        const QRect inside = input->rect().adjusted(1, 1, -1, -1);
        for (const QPoint point : {inside.center(), inside.topLeft(), inside.topRight(), inside.bottomLeft(),
                                   inside.bottomRight()}) {
            const QPoint at = input->mapTo(window, point);
            QWidget *answer = window->childAt(at);
            if (answer != input && !input->isAncestorOf(answer))
                hidden << u"%1 at %2,%3 -> %4"_s.arg(input->objectName()).arg(at.x()).arg(at.y())
                              .arg(answer ? answer->objectName() : u"nothing"_s);
        }
    }
    return hidden;
}

QString artifactPath(const QString &name)
{
    const QString folder = QStringLiteral(KAVIRO_BINARY_DIR "/artifacts");
    QDir().mkpath(folder);
    return folder + u'/' + name;
}

} // namespace kaviro::test

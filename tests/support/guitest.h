#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <ostream>

// Lets test failures show texts as texts.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace kaviro::test {

// The QApplication the GUI tests share, created on first use with German
// formats (the program's users' locale) so that numbers and dates read the
// same on every machine.
QApplication &guiApplication();

// Processes events until done() holds or about five seconds have passed.
bool waitFor(const std::function<bool()> &done);

// <build>/artifacts/<name>: where screenshots are kept.
QString artifactPath(const QString &name);

// Every visible input of the window (fields, spin fields, memos, buttons,
// check boxes, combo boxes) whose centre or one of whose corners the window
// hands to another widget, as "name at x,y -> other"; empty when a click
// anywhere on an input reaches it.
QStringList inputsHiddenFromClicks(QWidget *window);

} // namespace kaviro::test

#pragma once

#include "app/desktopprogram.h"
#include "settings/inifile.h"
#include "settings/optionsdialog.h"
#include "store/datamodule.h"
#include "store/windows1252.h"
#include "tests/support/guitest.h"
#include "tests/support/scripteddesktop.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace kaviro::test {

// Runs action on the first modal window that match accepts, as soon as it
// is up (the caller then enters the window's own loop). A failed check in
// action closes the window, so a test never hangs on it; so does a window
// that never comes up within about five seconds.
inline void whenModal(std::function<bool(QWidget *)> match, std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        auto *dialog = qobject_cast<QDialog *>(modal);
        if (modal && match(modal)) {
            timer->stop();
            timer->deleteLater();
            action(modal);
            if (dialog && dialog->isVisible() && ::testing::Test::HasFailure())
                dialog->reject();
            return;
        }
        if (++*tries > 1000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the expected modal window did not come up";
            if (dialog)
                dialog->reject();
        }
    });
    timer->start(5);
}

template<typename Window>
void whenModal(std::function<void(Window *)> action)
{
    whenModal([](QWidget *w) { return qobject_cast<Window *>(w) != nullptr; },
              [action](QWidget *w) { action(qobject_cast<Window *>(w)); });
}

template<typename T>
T *child(const QObject *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// A temporary folder with the settings file name, the desktop program built
// on it as the program entry builds it, and a scripted desktop.
class DialogFixture : public ::testing::Test {
protected:
    DialogFixture()
        : m_program((guiApplication(), desktop), path(QStringLiteral("kaviro.ini")).toStdString()),
          data(&m_program.session().data()), options(&m_program.options())
    {
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    const std::string &settingsFile() const { return m_program.session().settingsFile(); }
    DesktopProgram &program() { return m_program; }
    Session &session() { return m_program.session(); }

    void writeSetting(const char *section, const char *key, const std::string &value)
    {
        EXPECT_TRUE(IniFile(settingsFile()).writeString(section, key, value));
    }
    std::string readSetting(const char *section, const char *key) const
    {
        return IniFile(settingsFile()).readString(section, key, "<missing>");
    }

    template<typename T>
    T *field(const char *name) const
    {
        return child<T>(options, name);
    }

    ScriptedDesktop desktop;

private:
    QTemporaryDir m_dir;
    DesktopProgram m_program;

protected:
    DataModule *data;
    OptionsDialog *options;
};

} // namespace kaviro::test

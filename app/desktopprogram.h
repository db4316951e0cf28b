#pragma once

#include "app/mainwindow.h"
#include "publish/uploaddialog.h"
#include "session/session.h"
#include "settings/optionsdialog.h"

#include <string>

namespace kaviro {

class Desktop;

// The desktop program's objects, each once, built the same way by the
// program entry and by the tests: the session (settings record and data
// module), then the four windows' objects in the program's order: main
// window, options dialog, upload dialog. The main window is created first
// and closing it ends the program; it is handed the two dialogs created
// right after it and reaches them only from its commands, which run in the
// message loop once all exist.
class DesktopProgram {
public:
    DesktopProgram(Desktop &desktop, std::string settingsFile);

    Session &session() { return m_session; }
    const Session &session() const { return m_session; }
    MainWindow &mainWindow() { return m_mainWindow; }
    OptionsDialog &options() { return m_options; }
    UploadDialog &upload() { return m_upload; }

private:
    Session m_session;
    MainWindow m_mainWindow;
    OptionsDialog m_options;
    UploadDialog m_upload;
};

} // namespace kaviro

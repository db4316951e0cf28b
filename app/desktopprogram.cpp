#include "app/desktopprogram.h"

#include <utility>

namespace kaviro {

DesktopProgram::DesktopProgram(Desktop &desktop, std::string settingsFile)
    : m_session(std::move(settingsFile)),
      m_mainWindow(desktop, m_session, m_options, m_upload),
      m_options(desktop, m_session),
      m_upload(desktop, m_session, &m_mainWindow)
{
    QObject::connect(&m_upload, &UploadDialog::runningChanged, &m_mainWindow, &MainWindow::setUploadRunning);
}

} // namespace kaviro

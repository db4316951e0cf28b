#pragma once

// STAND-IN: the smallest options dialog the main window needs (the Settings
// record, loading it, showing the dialog on a page). The real dialog with its
// four filled pages replaces this file, keeping this interface.

#include "settings/settings.h"

#include <QDialog>

class QTabWidget;

namespace kaviro {

struct AppContext;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    enum Page { TemplatePage = 0, FtpPage = 1, DatabasePage = 2, InfoPage = 3 };

    explicit OptionsDialog(AppContext &app, QWidget *parent = nullptr);

    // The one settings record of the program, read in place by the others.
    Settings &settings() { return m_settings; }
    const Settings &settings() const { return m_settings; }

    // Reads the settings file into the record (nothing when there is none).
    void loadSettings();

    // Loads the settings, shows the dialog modally on the page given and
    // returns when it has closed; always true.
    bool showOnPage(int index);
    int currentPage() const;

private:
    void accept() override;

    AppContext &m_app;
    Settings m_settings;
    QTabWidget *m_pages = nullptr;
};

} // namespace kaviro

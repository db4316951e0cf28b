#pragma once

#include <string>

namespace kaviro {

class DataModule;
class Desktop;
class MainWindow;
class OptionsDialog;
class UploadDialog;

// The program's four top-level objects, each created once, in this order, by
// the program entry and reached by the others through this record. The main
// window exists before the data module does, so pointers are read when used,
// never cached at construction. Tests build their own set.
struct AppContext {
    Desktop &desktop;
    // The settings file; the same name for every load and save of a run.
    std::string settingsFile;

    MainWindow *mainWindow = nullptr;
    OptionsDialog *options = nullptr;
    DataModule *data = nullptr;
    UploadDialog *upload = nullptr;
};

} // namespace kaviro

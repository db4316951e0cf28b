#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QWidget;

namespace kaviro {

// Everything the windows ask of the desktop that a test cannot click through:
// message boxes, the file-open dialog, the folder browser and handing a file
// or URL to the user's default program. Windows and dialogs take a Desktop&
// and never call QMessageBox, QFileDialog or QDesktopServices themselves, so
// every command runs headless with a scripted desktop that records each call
// and answers it (tests/support/scripteddesktop.h).
//
// Texts are passed exactly as the user is to read them; a lone "\r" in a
// message is a line break (the Qt implementation turns it into one).
class Desktop {
public:
    // One entry of a file-open dialog's filter list, e.g.
    // {u"Template-Dateien (*.templ)"_s, u"*.templ"_s}. Several patterns are
    // separated by ";" ("*.htm;*.html").
    struct FileFilter {
        QString name;
        QString patterns;
        bool operator==(const FileFilter &) const = default;
    };

    struct OpenFileRequest {
        QString title;
        QList<FileFilter> filters;
        int selectedFilter = 0;     // index into filters, preselected
        QString defaultExtension;   // e.g. "templ" or "*.templ"; added to a typed name without one
        QString fileName;           // preset file name (may be empty)
    };

    struct FolderRequest {
        QString title;
        QString folder;             // preset selection (may be empty)
    };

    virtual ~Desktop() = default;

    // A modal message box; returns the button chosen. Closing the box without
    // a button (Esc, close box) answers the escape button Qt would pick
    // (Cancel/No where present, otherwise the only button).
    virtual QMessageBox::StandardButton messageBox(QWidget *parent, const QString &caption,
                                                   const QString &text,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::Icon icon) = 0;

    // The file-open dialog: the full name of the chosen file, or nothing when
    // the user cancelled.
    virtual std::optional<QString> openFileName(QWidget *parent, const OpenFileRequest &request) = 0;
    // The same dialog choosing several files; empty when the user cancelled.
    virtual QStringList openFileNames(QWidget *parent, const OpenFileRequest &request) = 0;

    // The folder browser: the chosen folder's path, or nothing when cancelled.
    virtual std::optional<QString> folderName(QWidget *parent, const FolderRequest &request) = 0;

    // Opens a file (file: URL) or a URL such as mailto: with the user's
    // default program, like the shell's "open" verb. Returns whether the
    // hand-over worked; callers may ignore it.
    virtual bool openUrl(const QUrl &url) = 0;

    // Convenience wrappers.
    bool openFile(const QString &path) { return openUrl(QUrl::fromLocalFile(path)); }
    // The modal "Fehler !" box the program shows for failures it detects
    // itself: OK button, error icon.
    void errorMessage(QWidget *parent, const QString &text);
};

// The desktop of the running program: QMessageBox, QFileDialog,
// QDesktopServices.
class QtDesktop : public Desktop {
public:
    QMessageBox::StandardButton messageBox(QWidget *parent, const QString &caption,
                                           const QString &text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::Icon icon) override;
    std::optional<QString> openFileName(QWidget *parent, const OpenFileRequest &request) override;
    QStringList openFileNames(QWidget *parent, const OpenFileRequest &request) override;
    std::optional<QString> folderName(QWidget *parent, const FolderRequest &request) override;
    bool openUrl(const QUrl &url) override;
};

// Loads Qt's German texts so that standard buttons read "Ja", "Nein", "OK",
// "Abbrechen" whatever the user's language: the program's own texts are
// German throughout. False when the translation is not installed.
bool installGermanStandardButtons();

// The application's title: the program file's name without its extension.
QString applicationTitle();

// The application's default error box, for a failure no command handles:
// the message as defaultErrorText (common/error.h) completes it, the
// application's title as caption, an OK button and the error icon.
void showDefaultError(Desktop &desktop, QWidget *parent, const QString &message);
// The same for an exception; its text as exceptionText (store/windows1252.h)
// decodes it.
void showDefaultError(Desktop &desktop, QWidget *parent, const std::exception &error);

// Runs a command the way the message loop runs one: an exception it raises
// ends it and is shown in the default error box, and the program carries on.
// Returns false when the command ended with an exception.
template<typename Command>
bool runCommand(Desktop &desktop, QWidget *parent, Command &&command)
{
    try {
        command();
        return true;
    } catch (const std::exception &error) {
        showDefaultError(desktop, parent, error);
        return false;
    }
}

} // namespace kaviro

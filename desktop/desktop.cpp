#include "desktop/desktop.h"

#include "common/error.h"
#include "store/windows1252.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

using namespace Qt::StringLiterals;

namespace kaviro {

void Desktop::errorMessage(QWidget *parent, const QString &text)
{
    messageBox(parent, u"Fehler !"_s, text, QMessageBox::Ok, QMessageBox::Critical);
}

QMessageBox::StandardButton QtDesktop::messageBox(QWidget *parent, const QString &caption,
                                                  const QString &text,
                                                  QMessageBox::StandardButtons buttons,
                                                  QMessageBox::Icon icon)
{
    QString shown = text;
    shown.replace(u"\r\n"_s, u"\n"_s);
    shown.replace(u'\r', u'\n');
    QMessageBox box(icon, caption, shown, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

namespace {

// "*.*" means every file on the system the filters were written for; here a
// name without a dot is a file too.
QString qtPatterns(const QString &patterns)
{
    QStringList parts = patterns.split(u';', Qt::SkipEmptyParts);
    for (QString &part : parts) {
        part = part.trimmed();
        if (part == u"*.*"_s)
            part = u"*"_s;
    }
    return parts.join(u' ');
}

// The chosen files' full names; empty when the user cancelled.
QStringList runFileDialog(QWidget *parent, const Desktop::OpenFileRequest &request, QFileDialog::FileMode mode)
{
    QFileDialog dialog(parent, request.title);
    dialog.setFileMode(mode);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QStringList filters;
    for (const Desktop::FileFilter &filter : request.filters)
        filters << u"%1 (%2)"_s.arg(filter.name.section(u" ("_s, 0, 0), qtPatterns(filter.patterns));
    dialog.setNameFilters(filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < filters.size())
        dialog.selectNameFilter(filters.at(request.selectedFilter));
    // Qt's own dialog lists the filters as the request names them ("Alle
    // Dateien (*.*)"), while matching by the patterns above.
    if (auto *types = dialog.findChild<QComboBox *>(u"fileTypeCombo"_s)) {
        for (int i = 0; i < types->count() && i < request.filters.size(); ++i)
            types->setItemText(i, request.filters.at(i).name);
    }
    QString suffix = request.defaultExtension;
    if (suffix.startsWith(u"*."_s))
        suffix = suffix.mid(2);
    else if (suffix.startsWith(u'.'))
        suffix = suffix.mid(1);
    dialog.setDefaultSuffix(suffix);
    if (!request.fileName.isEmpty()) {
        const QFileInfo preset(request.fileName);
        if (preset.isAbsolute() || preset.dir().exists())
            dialog.setDirectory(preset.absolutePath());
        dialog.selectFile(preset.fileName());
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QStringList chosen;
    for (const QString &file : dialog.selectedFiles())
        chosen << QFileInfo(file).absoluteFilePath();
    return chosen;
}

} // namespace

std::optional<QString> QtDesktop::openFileName(QWidget *parent, const OpenFileRequest &request)
{
    const QStringList chosen = runFileDialog(parent, request, QFileDialog::ExistingFile);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.constFirst();
}

QStringList QtDesktop::openFileNames(QWidget *parent, const OpenFileRequest &request)
{
    return runFileDialog(parent, request, QFileDialog::ExistingFiles);
}

std::optional<QString> QtDesktop::folderName(QWidget *parent, const FolderRequest &request)
{
    const QString folder = QFileDialog::getExistingDirectory(parent, request.title, request.folder,
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

bool QtDesktop::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool installGermanStandardButtons()
{
    static QTranslator *qtbase = nullptr;
    if (qtbase)
        return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(u"qtbase_de"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    qtbase = translator.release();
    QCoreApplication::installTranslator(qtbase);
    return true;
}

QString applicationTitle()
{
    QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty())
        path = QCoreApplication::applicationName();
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

void showDefaultError(Desktop &desktop, QWidget *parent, const QString &message)
{
    const QString shown = QString::fromUtf8(defaultErrorText(message.toUtf8().toStdString()));
    desktop.messageBox(parent, applicationTitle(), shown, QMessageBox::Ok, QMessageBox::Critical);
}

void showDefaultError(Desktop &desktop, QWidget *parent, const std::exception &error)
{
    showDefaultError(desktop, parent, exceptionText(error));
}

} // namespace kaviro

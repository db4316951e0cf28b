// STAND-IN, see optionsdialog.h.
#include "settings/optionsdialog.h"

#include "app/appcontext.h"
#include "app/desktop.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace kaviro {

OptionsDialog::OptionsDialog(AppContext &app, QWidget *parent) : QDialog(parent), m_app(app)
{
    setObjectName(u"fOptions"_s);
    setWindowTitle(u"Optionen"_s);
    resize(460, 390);
    m_pages = new QTabWidget(this);
    for (const QString &name : {u"Template"_s, u"FTP"_s, u"Datenbank"_s, u"Info"_s})
        m_pages->addTab(new QWidget, name);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(u"Abbrechen"_s, QDialogButtonBox::RejectRole);
    buttons->addButton(u"OK"_s, QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addWidget(buttons);
}

void OptionsDialog::loadSettings()
{
    kaviro::loadSettings(m_app.settingsFile, m_settings);
}

bool OptionsDialog::showOnPage(int index)
{
    loadSettings();
    m_pages->setCurrentIndex(index);
    exec();
    return true;
}

int OptionsDialog::currentPage() const
{
    return m_pages->currentIndex();
}

void OptionsDialog::accept()
{
    QDialog::accept();
    runCommand(m_app.desktop, this, [this] { saveSettings(m_app.settingsFile, m_settings); });
}

} // namespace kaviro

#include "session/publishjob.h"

#include "generator/listingpagegenerator.h"
#include "session/messages.h"
#include "settings/settings.h"
#include "store/datamodule.h"
#include "store/photostore.h"
#include "store/windows1252.h"

#include <QFileInfo>

#include <exception>
#include <optional>

namespace kaviro {

namespace {

// Releases the snapshot rows on every way out; the row count stays.
class SnapshotRelease {
public:
    explicit SnapshotRelease(DataModule &data) : m_data(data) {}
    ~SnapshotRelease() { m_data.clearWebData(); }
    SnapshotRelease(const SnapshotRelease &) = delete;
    SnapshotRelease &operator=(const SnapshotRelease &) = delete;

private:
    DataModule &m_data;
};

PublishResult failure(PublishResult::Outcome outcome, QString message)
{
    PublishResult result;
    result.outcome = outcome;
    result.message = std::move(message);
    return result;
}

} // namespace

PublishResult PublishJob::run(const Settings &settings, char decimalSeparator)
{
    try {
        const SnapshotRelease release(m_data);
        if (!m_data.buildWebData())
            return failure(PublishResult::Outcome::NoTable, QString::fromUtf8(messages::noTable));
        // Without its file the generator would expand no template, or one of
        // an earlier run, into pages named ".html", "2.html" and so on.
        const QString templateFile = fromWindows1252(settings.templateFilename);
        if (!QFileInfo(templateFile).isFile())
            return failure(PublishResult::Outcome::NoTemplate,
                           QString::fromUtf8(messages::noTemplate).arg(templateFile));
        m_generator.setTemplateFile(settings.templateFilename);
        m_generator.setOutputDir(settings.templateOutput);
        m_generator.setMultiPage(settings.multiPage);
        m_generator.setRowsPerPage(settings.rowsPerPage);
        m_generator.setDecimalSeparator(decimalSeparator);
        m_generator.setDetailTemplateFile(settings.detailTemplate);
        // Without the table Bilder no image file is written.
        std::optional<PhotoStore> photos;
        if (PhotoStore::available(m_data.connection().database()))
            photos.emplace(m_data.connection().database());
        m_generator.setPhotoSource(photos ? &*photos : nullptr);
        m_generator.run();
        m_generator.setPhotoSource(nullptr);

        PublishResult result;
        result.outcome = PublishResult::Outcome::PagesWritten;
        result.pageCount = m_generator.pageNumber();
        result.listingCount = m_data.webDataCount();
        return result;
    } catch (const std::exception &error) {
        return failure(PublishResult::Outcome::Failed, exceptionText(error));
    }
}

char pageDecimalSeparator(const QLocale &locale)
{
    const std::string point = toWindows1252(locale.decimalPoint());
    return point.size() == 1 ? point.front() : '.';
}

} // namespace kaviro

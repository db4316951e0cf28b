#include "session/publishjob.h"

#include "generator/listingpagegenerator.h"
#include "session/messages.h"
#include "settings/settings.h"
#include "store/datamodule.h"
#include "store/photostore.h"
#include "store/snapshot.h"
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
    return publish(settings, decimalSeparator, true);
}

PublishResult PublishJob::check(const Settings &settings, char decimalSeparator)
{
    return publish(settings, decimalSeparator, false);
}

PublishResult PublishJob::publish(const Settings &settings, char decimalSeparator, bool writePages)
{
    PublishResult result;
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
        for (const UnknownName &unknown : m_generator.unknownNames())
            result.unknownNames.append(fromWindows1252(describe(unknown)));
        m_generator.setOutputDir(settings.templateOutput);
        m_generator.setMultiPage(settings.multiPage);
        m_generator.setRowsPerPage(settings.rowsPerPage);
        m_generator.setDecimalSeparator(decimalSeparator);
        m_generator.setDetailTemplateFile(settings.detailTemplate);
        for (const UnknownName &unknown : m_generator.detailUnknownNames())
            result.unknownNames.append(QStringLiteral("Detailvorlage, ") + fromWindows1252(describe(unknown)));
        // Without the table Bilder no image file is written.
        std::optional<PhotoStore> photos;
        if (PhotoStore::available(m_data.connection().database()))
            photos.emplace(m_data.connection().database());
        m_generator.setPhotoSource(photos ? &*photos : nullptr);
        const QLocale locale = m_data.locale();
        m_generator.setDateFormatter([locale](const ListingDateTime &date, const std::string &format) {
            return formatListingDate(date, format, locale);
        });
        m_generator.setWritesPages(writePages);
        // The photo store lives only for this run; a check leaves the next
        // run writing again.
        struct RestoreGenerator {
            ListingPageGenerator &generator;
            ~RestoreGenerator()
            {
                generator.setWritesPages(true);
                generator.setPhotoSource(nullptr);
            }
        } restore{m_generator};
        m_generator.run();

        result.outcome = writePages ? PublishResult::Outcome::PagesWritten : PublishResult::Outcome::Checked;
        result.pageCount = writePages ? m_generator.pageNumber() : 0;
        result.listingCount = m_data.webDataCount();
        result.warnings = m_data.numberWarnings();
        return result;
    } catch (const std::exception &error) {
        result.outcome = PublishResult::Outcome::Failed;
        result.message = exceptionText(error);
        return result;
    }
}

char pageDecimalSeparator(const QLocale &locale)
{
    const std::string point = toWindows1252(locale.decimalPoint());
    return point.size() == 1 ? point.front() : '.';
}

} // namespace kaviro

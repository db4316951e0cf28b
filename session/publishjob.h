#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

namespace kaviro {

class DataModule;
class ListingPageGenerator;
struct Settings;

// How a generation ended. A failure carries the exact text to show; the
// desktop program shows NoTable and NoTemplate in its "Fehler !" box and
// Failed in its default error box, the headless publisher prints them.
struct PublishResult {
    enum class Outcome { PagesWritten, Checked, NoTable, NoTemplate, Failed };

    Outcome outcome = Outcome::Failed;
    QString message;
    int pageCount = 0;    // pages written
    int listingCount = 0; // active listings in them
    // The template's names nothing answers, one line each ("Zeile 3:
    // unbekanntes Makro ..."); found whenever the template was read, also
    // when the run failed afterwards.
    QStringList unknownNames;
    // Pages were written, yet some numbers were no numbers and show as 0:
    // one sentence each, naming the listing and the column.
    QStringList warnings;

    bool pagesWritten() const { return outcome == Outcome::PagesWritten; }
};

// The road to the pages, written once for both programs: the snapshot of
// the active listings in the table's order, the generator run with the
// settings as they stand, the snapshot rows released however it ends.
class PublishJob {
public:
    PublishJob(DataModule &data, ListingPageGenerator &generator) : m_data(data), m_generator(generator) {}

    PublishResult run(const Settings &settings, char decimalSeparator);
    // Goes the same road and writes no page: Checked, or the failure a run
    // would give.
    PublishResult check(const Settings &settings, char decimalSeparator);

private:
    PublishResult publish(const Settings &settings, char decimalSeparator, bool writePages);

    DataModule &m_data;
    ListingPageGenerator &m_generator;
};

// The decimal separator the pages use: the locale's, or "." when it is no
// single Windows-1252 byte (as in Arabic), the separator every reader knows.
char pageDecimalSeparator(const QLocale &locale);

} // namespace kaviro

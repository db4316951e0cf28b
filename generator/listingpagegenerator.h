#pragma once

#include "generator/listingsource.h"
#include "generator/photosource.h"
#include "generator/templatecheck.h"
#include "generator/templateengine.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kaviro {

class PageFolder;

// Fixed-point text of value as Format("%<width>.<decimals>f") gives it:
// rounded half away from zero on the value's shortest decimal form (so 0.15
// gives 0.2, as the user typed it), a leading minus, no thousands separator,
// the given decimal separator, blanks on the left up to width.
std::string formatFixed(double value, int decimals, char decimalSeparator, int width = 8);

// Every CR LF pair becomes "<br>"; a lone CR or LF stays.
std::string htmlLineBreaks(std::string_view text);

// Turns the active listings into HTML pages: answers the engine's hooks from
// the snapshot and writes each page into its own file, named after the
// template, in the output folder.
//
// Template vocabulary: the loop "Loop" (one iteration per listing); the
// macros of the listing columns (listingColumns: Wohnung, Flaeche, Strasse,
// PLZ, Ort, Beschreibung, Miete, Nebenkosten and ZuMietenAb, the last with
// an optional date "format") and of the source's extra columns, only inside
// "Loop"; FileName and PageNum (optional "offset"), TotalPageNum; the
// conditions Header, Footer, MultiPage, PageExist (optional "offset") and
// Gesetzt ("feld": a field of the current listing is not empty).
//
// Photos: inside "Loop" the loop "Bilder" runs over the listing's photos,
// with the macros BildDatei, BildVorschau (file names relative to the output
// folder), BildTitel, BildBreite and BildHoehe; the condition HatBilder
// holds when the listing has a photo; DetailDatei names its detail page.
// With a photo source the image files are written into "bilder/", and with a
// detail template one detail page per listing; they belong to the same
// all-or-nothing generation as the pages.
//
// All texts, file names included, are Windows-1252 like the settings they
// come from; a name is converted to the file system's UTF-8 only when a file
// is opened.
class ListingPageGenerator : public TemplateEngine {
public:
    explicit ListingPageGenerator(const ListingSource &listings);
    ~ListingPageGenerator() override;

    // Loads the template file and reads its declarations; their errors and
    // "Datei %s kann nicht geöffnet werden" are thrown. An empty name keeps
    // the template loaded last (none at first: an empty template).
    void setTemplateFile(const std::string &fileName);
    const std::string &templateFileName() const { return m_templateFileName; }

    void setOutputDir(std::string dir) { m_outputDir = std::move(dir); }
    const std::string &outputDir() const { return m_outputDir; }
    void setMultiPage(bool on) { m_multiPage = on; }
    bool multiPage() const { return m_multiPage; }
    void setRowsPerPage(std::int32_t rows) { m_rowsPerPage = rows; }
    std::int32_t rowsPerPage() const { return m_rowsPerPage; }
    // The user's decimal separator, used by the number macros.
    void setDecimalSeparator(char separator) { m_decimalSeparator = separator; }
    char decimalSeparator() const { return m_decimalSeparator; }

    // Windows-1252 file name; empty: no detail pages.
    void setDetailTemplateFile(std::string fileName) { m_detailTemplateFileName = std::move(fileName); }
    const std::string &detailTemplateFileName() const { return m_detailTemplateFileName; }
    // Where the photos' bytes come from; none: no image files are written.
    void setPhotoSource(const PhotoSource *photos) { m_photos = photos; }

    // Off: a run expands the template as usual and writes no file, to find
    // the errors a run would meet.
    void setWritesPages(bool on) { m_writesPages = on; }

    // Formats a date for a macro's "format" parameter (Windows-1252); without
    // one the parameter is ignored and the snapshot's text used.
    using DateFormatter = std::function<std::string(const ListingDateTime &date, const std::string &format)>;
    void setDateFormatter(DateFormatter formatter) { m_dateFormatter = std::move(formatter); }
    const DateFormatter &dateFormatter() const { return m_dateFormatter; }

    // Every name this generator answers, the source's extra columns included.
    TemplateNames answeredNames() const;
    // The unknown names of the loaded template.
    std::vector<UnknownName> unknownNames() const { return checkTemplateNames(templateText(), answeredNames()); }
    // Those of the detail template; its loading errors are thrown.
    std::vector<UnknownName> detailUnknownNames() const;

    // Full name of page n: the output folder, "/", the template's name with
    // ".html" for its extension, n before ".html" when n > 1.
    std::string pageFileName(std::int64_t n) const;
    // 1 in single-page mode; in multi-page mode the listings divided by the
    // rows per page, rounded up (0 without listings).
    std::int32_t pageCount() const;

protected:
    // A run writes all its pages or none (PageFolder). Error "Kein
    // Ausgabeordner eingestellt." without an output folder.
    void runFinished() override;
    void runStarting() override;
    void evaluateCondition(const std::string &name, const StringParameters &tagParams, bool &result) override;
    void checkLoop(int index, const std::string &name, const StringParameters &tagParams, bool &finished) override;
    void getMacroValue(const std::string &name, const StringParameters &tagParams, std::string &value,
                       bool &translate) override;
    void beginPage(int pageNumber) override;
    void endPage(int pageNumber) override;
    void emitText(std::string_view text) override;

    // The listing whose macros a tag reads; the list pages' is the one of
    // the loop "Loop".
    virtual const WebDataRow &currentRow() const;
    // The list page the page macros count from.
    virtual std::int64_t listPageNumber() const { return pageNumber(); }
    std::int64_t pageAtOffset(const StringParameters &tagParams) const;
    std::int32_t effectiveRowsPerPage() const;

    const ListingSource &m_listings;

private:
    bool failing() const;
    void photoMacroValue(std::string_view name, std::string &value) const;
    void writeFilesBesidePages();
    void writePhotos();
    // Expands the detail template for each listing and hands over the text.
    void renderDetailPages(const std::function<void(const WebDataRow &, std::string)> &take);
    bool fieldMacroValue(const std::string &name, const StringParameters &tagParams, std::string &value) const;
    bool isFieldSet(const std::string &name) const;

    std::unique_ptr<PageFolder> m_pages;
    std::exception_ptr m_exceptionAtStart;
    std::string m_templateFileName;
    std::string m_outputDir;
    bool m_multiPage = false;
    std::int32_t m_rowsPerPage = 0;
    char m_decimalSeparator = '.';
    DateFormatter m_dateFormatter;
    bool m_writesPages = true;
    std::string m_detailTemplateFileName;
    const PhotoSource *m_photos = nullptr;
};

} // namespace kaviro

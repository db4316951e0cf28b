#include "generator/listingpagegenerator.h"

#include "common/cp1252.h"
#include "common/error.h"
#include "common/fileio.h"
#include "common/filename.h"
#include "common/integertext.h"
#include "generator/detailpagegenerator.h"
#include "generator/pagefolder.h"
#include "generator/photonames.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <future>
#include <iterator>
#include <memory>
#include <thread>
#include <unistd.h>

namespace kaviro {

namespace {

const std::string listingLoop = "Loop";
const std::string photoLoop = "Bilder";
const std::string fieldSetCondition = "Gesetzt";
const char *const pageMacros[] = {"FileName", "PageNum", "TotalPageNum", "DetailDatei"};
const char *const photoMacros[] = {"BildDatei", "BildVorschau", "BildTitel", "BildBreite", "BildHoehe"};
const char *const pageConditions[] = {"Header", "Footer", "MultiPage", "PageExist", "HatBilder"};

void appendHtmlLineBreaks(std::string_view text, std::string &out)
{
    std::size_t from = 0;
    for (std::size_t crlf; (crlf = text.find("\r\n", from)) != std::string_view::npos; from = crlf + 2) {
        out.append(text, from, crlf - from);
        out += "<br>";
    }
    out.append(text, from);
}

// The digits of |value| * 10^decimals, rounded half away from zero on the
// value's shortest decimal form: the digits the user typed, not the binary
// approximation's tail.
std::string roundedDigits(double value, int decimals)
{
    char buf[40];
    const auto written = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific).ptr;
    const std::string_view sci(buf, static_cast<std::size_t>(written - buf));
    const std::size_t e = sci.find('e');
    std::string digits(1, sci[0]);
    if (e > 1)
        digits.append(sci.substr(2, e - 2));
    int exponent = 0;
    const char *expFirst = sci.data() + e + 1;
    if (*expFirst == '+')
        ++expFirst;
    std::from_chars(expFirst, sci.data() + sci.size(), exponent);

    const long keep = long{exponent} + 1 + decimals;
    if (keep <= 0)
        return keep == 0 && digits[0] >= '5' ? "1" : "0";
    const auto kept = static_cast<std::size_t>(keep);
    std::string scaled = digits.substr(0, kept);
    scaled.resize(kept, '0');
    if (digits.size() > kept && digits[kept] >= '5') {
        std::size_t i = kept;
        while (i > 0 && scaled[i - 1] == '9')
            scaled[--i] = '0';
        if (i == 0)
            scaled.insert(scaled.begin(), '1');
        else
            ++scaled[i - 1];
    }
    return scaled;
}

// The same, quickly, when |value| * 10^decimals is a whole number far below
// 2^53 (prices such as 700.50, areas such as 35.1): the shortest decimal
// form then lies within 2^-13 of it, so rounding that form gives the same
// digits, and building the form is the slow part.
bool wholeWhenScaled(double value, int decimals, std::string &digits)
{
    constexpr double powersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    if (decimals < 0 || decimals >= static_cast<int>(std::size(powersOfTen)))
        return false;
    const double scaled = std::fabs(value) * powersOfTen[decimals];
    if (!(scaled < 0x1p40) || scaled != std::floor(scaled))
        return false;
    digits = std::to_string(static_cast<std::uint64_t>(scaled));
    return true;
}

// The column whose value a macro gives, or nullptr. Runs for every macro of
// every listing: names are compared by length first.
const ListingColumn *macroColumn(std::string_view name)
{
    for (const ListingColumn &column : listingColumns) {
        if (!column.macro.empty() && column.macro == name)
            return &column;
    }
    return nullptr;
}

// A listing's value as its macro gives it: numbers as Format("%8.<decimals>f")
// with the column's unit after a blank, a memo with "<br>" line breaks, any
// other text as it stands.
void setMacroValue(const ListingColumn &column, const WebDataRow &row, char decimalSeparator, std::string &out)
{
    const auto slot = std::size_t(snapshotSlot(std::size_t(&column - listingColumns.data())));
    if (isSnapshotNumber(column)) {
        out = formatFixed(row.numbers[slot], column.decimals, decimalSeparator);
        if (!column.unit.empty()) {
            out += ' ';
            out += column.unit;
        }
    } else if (column.kind == ColumnKind::Memo) {
        appendHtmlLineBreaks(row.texts[slot], out);
    } else {
        out = row.texts[slot];
    }
}

} // namespace

std::string formatFixed(double value, int decimals, char decimalSeparator, int width)
{
    std::string out;
    if (std::isnan(value)) {
        out = "NAN";
    } else if (std::isinf(value)) {
        out = value < 0 ? "-INF" : "INF";
    } else {
        std::string scaled;
        if (!wholeWhenScaled(value, decimals, scaled))
            scaled = roundedDigits(value, decimals);
        const auto fraction = static_cast<std::size_t>(std::max(decimals, 0));
        if (scaled.size() <= fraction)
            scaled.insert(0, fraction + 1 - scaled.size(), '0');
        const bool zero = scaled.find_first_not_of('0') == std::string::npos;
        if (std::signbit(value) && !zero)
            out += '-';
        out.append(scaled, 0, scaled.size() - fraction);
        if (fraction > 0) {
            out += decimalSeparator;
            out.append(scaled, scaled.size() - fraction);
        }
    }
    if (static_cast<int>(out.size()) < width)
        out.insert(0, static_cast<std::size_t>(width) - out.size(), ' ');
    return out;
}

std::string htmlLineBreaks(std::string_view text)
{
    std::string out;
    appendHtmlLineBreaks(text, out);
    return out;
}

ListingPageGenerator::ListingPageGenerator(const ListingSource &listings)
    : m_listings(listings), m_pages(std::make_unique<PageFolder>())
{
}

ListingPageGenerator::~ListingPageGenerator() = default;

void ListingPageGenerator::setTemplateFile(const std::string &fileName)
{
    m_templateFileName = fileName;
    if (fileName.empty())
        return;

    const int fd = openFile(cp1252ToUtf8(fileName).c_str(), O_RDONLY);
    std::string content;
    const bool read = fd >= 0 && readAll(fd, content);
    if (fd >= 0)
        ::close(fd);
    if (!read)
        throw Error("Datei " + fileName + " kann nicht ge\xF6" "ffnet werden");
    setTemplateText(content);
}

std::string ListingPageGenerator::pageFileName(std::int64_t n) const
{
    std::string name = m_outputDir;
    if (name.empty() || name.back() != '/')
        name += '/';
    const std::string_view base = fileNamePart(m_templateFileName);
    name += base.substr(0, base.rfind('.'));
    if (n > 1)
        name += std::to_string(n);
    name += ".html";
    return name;
}

std::int32_t ListingPageGenerator::effectiveRowsPerPage() const
{
    // The settings keep 1..100; a smaller number would divide by zero here
    // and put one listing on each page in the loop, so it counts as 1.
    return std::max<std::int32_t>(m_rowsPerPage, 1);
}

std::int32_t ListingPageGenerator::pageCount() const
{
    if (!m_multiPage)
        return 1;
    const std::int32_t rows = effectiveRowsPerPage();
    const std::int32_t count = std::max(m_listings.webDataCount(), 0);
    return count / rows + (count % rows != 0 ? 1 : 0);
}

std::int64_t ListingPageGenerator::pageAtOffset(const StringParameters &tagParams) const
{
    const std::string *offset = tagParams.find("offset");
    return listPageNumber() + (offset ? toInteger(*offset, tagInteger) : 0);
}

const WebDataRow &ListingPageGenerator::currentRow() const
{
    return m_listings.webDataRow(loopCounterByName(listingLoop));
}

TemplateNames ListingPageGenerator::answeredNames() const
{
    TemplateNames names;
    for (const ListingColumn &column : listingColumns) {
        if (!column.macro.empty())
            names.fields.emplace_back(column.macro);
    }
    const std::vector<std::string> &extras = m_listings.extraFieldNames();
    names.fields.insert(names.fields.end(), extras.begin(), extras.end());
    names.macros = names.fields;
    names.macros.insert(names.macros.end(), std::begin(pageMacros), std::end(pageMacros));
    names.macros.insert(names.macros.end(), std::begin(photoMacros), std::end(photoMacros));
    names.conditions.assign(std::begin(pageConditions), std::end(pageConditions));
    names.conditions.push_back(fieldSetCondition);
    names.loops.push_back(listingLoop);
    names.loops.push_back(photoLoop);
    return names;
}

// The value of a field of the current listing, by macro name; false for a
// name that is no field. The listing columns come first, then the extra ones.
bool ListingPageGenerator::fieldMacroValue(const std::string &name, const StringParameters &tagParams,
                                           std::string &value) const
{
    if (const ListingColumn *column = macroColumn(name)) {
        const WebDataRow &row = currentRow();
        const std::string *format = tagParams.find("format");
        const int dateSlot = snapshotDateSlot(std::size_t(column - listingColumns.data()));
        if (format && dateSlot >= 0 && m_dateFormatter) {
            const ListingDateTime &date = row.dates[std::size_t(dateSlot)];
            value = date.isNull() ? std::string() : m_dateFormatter(date, *format);
        } else {
            setMacroValue(*column, row, m_decimalSeparator, value);
        }
        return true;
    }
    const std::vector<std::string> &extras = m_listings.extraFieldNames();
    const auto extra = std::find(extras.begin(), extras.end(), name);
    if (extra == extras.end())
        return false;
    const WebDataRow &row = currentRow();
    const auto index = std::size_t(extra - extras.begin());
    value = index < row.extras.size() ? row.extras[index] : std::string();
    return true;
}

// A number counts as set when it is not 0: the snapshot keeps a null number
// as 0.0. A name that is no field of this table is not set, so that one
// template serves tables with and without a column.
bool ListingPageGenerator::isFieldSet(const std::string &name) const
{
    if (const ListingColumn *column = macroColumn(name); column && isSnapshotNumber(*column)) {
        const auto slot = std::size_t(snapshotSlot(std::size_t(column - listingColumns.data())));
        return currentRow().numbers[slot] != 0.0;
    }
    std::string value;
    return fieldMacroValue(name, StringParameters(), value) && !value.empty();
}

void ListingPageGenerator::evaluateCondition(const std::string &name, const StringParameters &tagParams,
                                             bool &result)
{
    if (name == fieldSetCondition) {
        const std::string *field = tagParams.find("feld");
        result = isFieldSet(field ? *field : std::string());
    } else if (name == "Header") {
        result = pageNumber() == 1;
    } else if (name == "Footer") {
        result = pageNumber() == pageCount();
    } else if (name == "MultiPage") {
        result = m_multiPage;
    } else if (name == "PageExist") {
        const std::int64_t page = pageAtOffset(tagParams);
        result = page >= 1 && page <= pageCount();
    } else if (name == "HatBilder") {
        result = !currentRow().photos.empty();
    } else {
        throw Error("Unkown IF Tag : " + name);
    }
}

void ListingPageGenerator::checkLoop(int index, const std::string &name, const StringParameters &, bool &finished)
{
    if (name == photoLoop) {
        finished = std::size_t(loopCounter(index)) >= currentRow().photos.size();
        return;
    }
    if (name != listingLoop)
        return;
    finished = loopCounter(index) >= m_listings.webDataCount();
    if (!finished && m_multiPage && loopPageCounter(index) >= effectiveRowsPerPage())
        requestNewPage();
}

void ListingPageGenerator::getMacroValue(const std::string &name, const StringParameters &tagParams,
                                         std::string &value, bool &)
{
    using namespace std::string_view_literals;
    if (name == "FileName"sv)
        value = fileNamePart(pageFileName(pageAtOffset(tagParams)));
    else if (name == "PageNum"sv)
        value = std::to_string(pageAtOffset(tagParams));
    else if (name == "TotalPageNum"sv)
        value = std::to_string(pageCount());
    else if (name == "DetailDatei"sv)
        value = detailPageName(currentRow());
    else if (!fieldMacroValue(name, tagParams, value) && name.starts_with("Bild"sv))
        photoMacroValue(name, value);
}

void ListingPageGenerator::photoMacroValue(std::string_view name, std::string &value) const
{
    using namespace std::string_view_literals;
    const WebDataRow &row = currentRow();
    const auto index = std::size_t(loopCounterByName(photoLoop));
    if (index >= row.photos.size())
        return;
    const WebPhoto &photo = row.photos[index];
    if (name == "BildDatei"sv)
        value = photoFileName(row, index, false);
    else if (name == "BildVorschau"sv)
        value = photoFileName(row, index, true);
    else if (name == "BildTitel"sv)
        value = photo.title;
    else if (name == "BildBreite"sv)
        value = std::to_string(photo.width);
    else if (name == "BildHoehe"sv)
        value = std::to_string(photo.height);
}

void ListingPageGenerator::runStarting()
{
    m_exceptionAtStart = std::current_exception();
    // An empty folder would put the pages into the root folder.
    if (m_outputDir.empty())
        throw Error("Kein Ausgabeordner eingestellt.");
    // A check run touches no file, its record included.
    if (m_writesPages)
        m_pages->start(cp1252ToUtf8(m_outputDir), m_templateFileName);
}

bool ListingPageGenerator::failing() const
{
    // The engine ends pages and runs from its error handler too; an
    // exception other than the one a caller may be handling means an error
    // ended the run.
    return std::current_exception() != m_exceptionAtStart;
}

void ListingPageGenerator::runFinished()
{
    if (!m_writesPages) {
        // A check meets the detail pages' errors as a run would.
        if (!failing() && !stopRequest())
            renderDetailPages([](const WebDataRow &, std::string) {});
        return;
    }
    if (failing() || stopRequest()) {
        m_pages->discard();
        return;
    }
    try {
        writeFilesBesidePages();
    } catch (...) {
        m_pages->discard();
        throw;
    }
    m_pages->commit();
}

void ListingPageGenerator::writeFilesBesidePages()
{
    if (m_photos)
        writePhotos();
    renderDetailPages([this](const WebDataRow &row, std::string page) {
        m_pages->addFile(cp1252ToUtf8(detailPageName(row)), std::move(page));
    });
}

// Scaling a thumbnail costs more than reading and writing both files, so
// a few are made on other threads while the large images are written.
void ListingPageGenerator::writePhotos()
{
    struct PendingThumbnail {
        std::string name;
        std::future<std::string> bytes;
    };
    const std::size_t inFlight = std::max(2u, std::thread::hardware_concurrency());
    std::deque<PendingThumbnail> pending;
    const auto writeThumbnails = [&](std::size_t keep) {
        while (pending.size() > keep) {
            m_pages->addFile(pending.front().name, pending.front().bytes.get());
            pending.pop_front();
        }
    };
    for (int i = 0; i < m_listings.webDataCount(); ++i) {
        const WebDataRow &row = m_listings.webDataRow(i);
        for (std::size_t p = 0; p < row.photos.size(); ++p) {
            auto large = std::make_shared<const std::string>(m_photos->largeImage(row.photos[p].id));
            pending.push_back({photoFileName(row, p, true), std::async(std::launch::async, [this, large] {
                                   return m_photos->thumbnailOf(*large);
                               })});
            m_pages->addFile(photoFileName(row, p, false), *large);
            writeThumbnails(inFlight);
        }
    }
    writeThumbnails(0);
}

void ListingPageGenerator::renderDetailPages(const std::function<void(const WebDataRow &, std::string)> &take)
{
    if (m_detailTemplateFileName.empty())
        return;
    DetailPageGenerator details(m_listings, *this);
    for (int i = 0; i < m_listings.webDataCount(); ++i)
        take(m_listings.webDataRow(i), details.render(i));
}

std::vector<UnknownName> ListingPageGenerator::detailUnknownNames() const
{
    if (m_detailTemplateFileName.empty())
        return {};
    return DetailPageGenerator(m_listings, *this).unknownNames();
}

void ListingPageGenerator::beginPage(int pageNumber)
{
    if (m_pages->pageOpen())
        throw Error("Internal error. Outpust stream already exist.");
    if (m_writesPages)
        m_pages->openPage(pageFileName(pageNumber));
}

void ListingPageGenerator::endPage(int)
{
    if (m_pages->pageOpen())
        m_pages->closePage(!failing());
}

void ListingPageGenerator::emitText(std::string_view text)
{
    if (m_pages->pageOpen())
        m_pages->write(text);
}

} // namespace kaviro

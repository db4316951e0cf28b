#include "generator/listingpagegenerator.h"

#include "common/cp1252.h"
#include "common/error.h"
#include "common/filename.h"
#include "generator/detailpagegenerator.h"
#include "generator/photonames.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <exception>
#include <fcntl.h>
#include <iterator>
#include <limits>
#include <unistd.h>

namespace kaviro {

namespace {

const std::string listingLoop = "Loop";
const std::string photoLoop = "Bilder";

[[noreturn]] void failNotAnInteger(std::string_view text)
{
    std::string message = "'";
    message += text;
    message += "' ist kein g\xFC" "ltiger Integerwert";
    throw Error(message);
}

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

std::int32_t wholeNumber(std::string_view text)
{
    std::string_view rest = text;
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    int base = 10;
    if (rest.starts_with("0x") || rest.starts_with("0X")) {
        base = 16;
        rest.remove_prefix(2);
    } else if (!rest.empty() && (rest.front() == '$' || rest.front() == 'x' || rest.front() == 'X')) {
        base = 16;
        rest.remove_prefix(1);
    }
    // Unsigned, so that from_chars takes no second sign.
    std::uint64_t magnitude = 0;
    const char *end = rest.data() + rest.size();
    const auto [stop, error] = std::from_chars(rest.data(), end, magnitude, base);
    const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
    if (rest.empty() || stop != end || error != std::errc() || magnitude > limit)
        failNotAnInteger(text);
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                              : static_cast<std::int64_t>(magnitude));
}

// The page being written. Writes go through a buffer that is kept from page
// to page; a failed write is reported once and the rest of the page dropped.
class ListingPageGenerator::PageFile {
public:
    ~PageFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool isOpen() const { return m_fd >= 0; }

    // Creates the file, replacing one of that name.
    void open(const std::string &name)
    {
        const std::string path = cp1252ToUtf8(name);
        do
            m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0)
            throw Error("Datei " + name + " kann nicht erstellt werden");
        m_failed = false;
        m_buffer.clear();
        m_buffer.reserve(bufferSize);
    }

    void write(std::string_view text)
    {
        if (m_failed)
            throw Error(writeError);
        if (m_buffer.size() + text.size() > bufferSize) {
            flush();
            if (text.size() >= bufferSize) {
                writeThrough(text);
                return;
            }
        }
        m_buffer.append(text);
    }

    // Keeps what was written so far. A failure to store the rest is an error,
    // unless the page is being closed because of another one.
    void close()
    {
        bool stored = !m_failed;
        if (stored) {
            stored = writeAll(m_buffer);
            m_buffer.clear();
        }
        if (::close(m_fd) != 0 && errno != EINTR)
            stored = false;
        m_fd = -1;
        if (!stored && !m_failed && std::uncaught_exceptions() == 0)
            throw Error(writeError);
    }

private:
    static constexpr std::size_t bufferSize = 64 * 1024;
    static constexpr const char *writeError = "Stream-Write-Fehler";

    void flush()
    {
        writeThrough(m_buffer);
        m_buffer.clear();
    }

    void writeThrough(std::string_view bytes)
    {
        if (!writeAll(bytes)) {
            m_failed = true;
            m_buffer.clear();
            throw Error(writeError);
        }
    }

    bool writeAll(std::string_view bytes) const
    {
        while (!bytes.empty()) {
            const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    int m_fd = -1;
    bool m_failed = false;
    std::string m_buffer;
};

ListingPageGenerator::ListingPageGenerator(const ListingSource &listings)
    : m_listings(listings), m_pageFile(std::make_unique<PageFile>())
{
}

ListingPageGenerator::~ListingPageGenerator() = default;

void ListingPageGenerator::setTemplateFile(const std::string &fileName)
{
    m_templateFileName = fileName;
    if (fileName.empty())
        return;

    const std::string path = cp1252ToUtf8(fileName);
    const auto cannotOpen = [&] { return Error("Datei " + fileName + " kann nicht ge\xF6" "ffnet werden"); };
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw cannotOpen();
    std::string content;
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            throw cannotOpen();
        }
        if (n == 0)
            break;
        content.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
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
    return listPageNumber() + (offset ? wholeNumber(*offset) : 0);
}

const WebDataRow &ListingPageGenerator::currentRow() const
{
    return m_listings.webDataRow(loopCounterByName(listingLoop));
}

void ListingPageGenerator::evaluateCondition(const std::string &name, const StringParameters &tagParams,
                                             bool &result)
{
    if (name == "Header") {
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
    if (const ListingColumn *column = macroColumn(name)) {
        setMacroValue(*column, currentRow(), m_decimalSeparator, value);
    } else if (name == "FileName"sv) {
        value = fileNamePart(pageFileName(pageAtOffset(tagParams)));
    } else if (name == "PageNum"sv) {
        value = std::to_string(pageAtOffset(tagParams));
    } else if (name == "TotalPageNum"sv) {
        value = std::to_string(pageCount());
    } else if (name == "DetailDatei"sv) {
        value = detailPageName(currentRow());
    } else if (name.starts_with("Bild"sv)) {
        photoMacroValue(name, value);
    }
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
    m_files.start(cp1252ToUtf8(m_outputDir), cp1252ToUtf8(fileNamePart(m_templateFileName)));
}

void ListingPageGenerator::runFinished()
{
    // The engine ends a failed run here too, inside its handler.
    if (std::current_exception() != m_exceptionAtStart || stopRequest()) {
        m_files.discard();
        return;
    }
    try {
        writeFilesBesidePages();
        m_files.commit();
    } catch (...) {
        m_files.discard();
        throw;
    }
}

void ListingPageGenerator::writeFilesBesidePages()
{
    const int count = m_listings.webDataCount();
    if (m_photos) {
        for (int i = 0; i < count; ++i) {
            const WebDataRow &row = m_listings.webDataRow(i);
            for (std::size_t p = 0; p < row.photos.size(); ++p) {
                const PhotoFiles files = m_photos->photoFiles(row.photos[p].id);
                m_files.add(photoFileName(row, p, false), files.large);
                m_files.add(photoFileName(row, p, true), files.thumbnail);
            }
        }
    }
    if (m_detailTemplateFileName.empty())
        return;
    DetailPageGenerator details(m_listings, *this);
    for (int i = 0; i < count; ++i)
        m_files.add(cp1252ToUtf8(detailPageName(m_listings.webDataRow(i))), details.render(i));
}

void ListingPageGenerator::beginPage(int pageNumber)
{
    if (m_pageFile->isOpen())
        throw Error("Internal error. Outpust stream already exist.");
    m_pageFile->open(pageFileName(pageNumber));
}

void ListingPageGenerator::endPage(int)
{
    if (m_pageFile->isOpen())
        m_pageFile->close();
}

void ListingPageGenerator::emitText(std::string_view text)
{
    if (m_pageFile->isOpen())
        m_pageFile->write(text);
}

} // namespace kaviro

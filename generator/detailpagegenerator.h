#pragma once

#include "generator/listingpagegenerator.h"

#include <string>
#include <string_view>

namespace kaviro {

// Expands the detail template for one listing at a time, with the whole
// vocabulary of the list pages: the listing macros and the loop "Bilder"
// answer for that listing, and the page macros (FileName, PageNum,
// TotalPageNum) for the list page that shows it, so a detail page can link
// back. The text is returned, not written: the list generator stores it
// with the rest of its generation.
class DetailPageGenerator : public ListingPageGenerator {
public:
    // Loads the list generator's detail template; its errors are thrown.
    DetailPageGenerator(const ListingSource &listings, const ListingPageGenerator &list);

    std::string render(int row);

protected:
    void runFinished() override {}
    void runStarting() override {}
    void getMacroValue(const std::string &name, const StringParameters &tagParams, std::string &value,
                       bool &translate) override;
    void beginPage(int) override { m_text.clear(); }
    void endPage(int) override {}
    void emitText(std::string_view text) override { m_text += text; }
    const WebDataRow &currentRow() const override { return m_listings.webDataRow(m_row); }
    std::int64_t listPageNumber() const override;

private:
    const ListingPageGenerator &m_list;
    int m_row = 0;
    std::string m_text;
};

} // namespace kaviro

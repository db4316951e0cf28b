#include "generator/detailpagegenerator.h"

#include "common/filename.h"

namespace kaviro {

DetailPageGenerator::DetailPageGenerator(const ListingSource &listings, const ListingPageGenerator &list)
    : ListingPageGenerator(listings), m_list(list)
{
    setTemplateFile(list.detailTemplateFileName());
    setOutputDir(list.outputDir());
    setMultiPage(list.multiPage());
    setRowsPerPage(list.rowsPerPage());
    setDecimalSeparator(list.decimalSeparator());
    setDateFormatter(list.dateFormatter());
}

std::string DetailPageGenerator::render(int row)
{
    m_row = row;
    m_text.clear();
    run();
    return m_text;
}

std::int64_t DetailPageGenerator::listPageNumber() const
{
    return multiPage() ? m_row / effectiveRowsPerPage() + 1 : 1;
}

void DetailPageGenerator::getMacroValue(const std::string &name, const StringParameters &tagParams,
                                        std::string &value, bool &translate)
{
    // The list page's name, not one after the detail template.
    if (name == "FileName")
        value = fileNamePart(m_list.pageFileName(pageAtOffset(tagParams)));
    else
        ListingPageGenerator::getMacroValue(name, tagParams, value, translate);
}

} // namespace kaviro

#include "generator/photonames.h"

namespace kaviro {

std::string photoFileName(const WebDataRow &row, std::size_t index, bool thumbnail)
{
    return "bilder/" + row.key + '-' + std::to_string(index + 1) + (thumbnail ? "-klein.jpg" : ".jpg");
}

std::string urlSafeName(std::string_view text)
{
    std::string name;
    const auto add = [&name](std::string_view part) { name += part; };
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9'))
            name += c;
        else if (byte >= 'A' && byte <= 'Z')
            name += char(byte - 'A' + 'a');
        else if (byte == 0xE4 || byte == 0xC4)
            add("ae");
        else if (byte == 0xF6 || byte == 0xD6)
            add("oe");
        else if (byte == 0xFC || byte == 0xDC)
            add("ue");
        else if (byte == 0xDF)
            add("ss");
        else if (!name.empty() && name.back() != '-')
            name += '-';
    }
    while (!name.empty() && name.back() == '-')
        name.pop_back();
    return name;
}

std::string detailPageName(const WebDataRow &row)
{
    if (!row.key.empty())
        return "wohnung-" + row.key + ".html";
    const std::string title = urlSafeName(row.text("Wohnung"));
    return title.empty() ? std::string("wohnung.html") : "wohnung-" + title + ".html";
}

} // namespace kaviro

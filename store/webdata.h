#pragma once

#include <string>
#include <vector>

namespace kaviro {

// One active listing copied out of the table for page generation. Texts are
// Windows-1252 bytes; numbers stay numbers so the generator can format them.
struct WebDataRow {
    std::string wohnung;
    double flaeche = 0.0;
    std::string strasse;
    std::string plz;
    std::string ort;
    std::string beschreibung;
    double miete = 0.0;
    double nebenkosten = 0.0;
    std::string zuMietenAb; // short date, plus long time when not midnight; empty when null
};

using WebData = std::vector<WebDataRow>;

} // namespace kaviro

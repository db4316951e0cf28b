#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kaviro {

// The names a generator answers, Windows-1252, compared exactly.
struct TemplateNames {
    std::vector<std::string> macros;
    std::vector<std::string> conditions;
    std::vector<std::string> loops;
    std::vector<std::string> fields; // what the condition "Gesetzt" takes as "feld"
};

// A name in a template that no hook answers: a macro that prints nothing, a
// condition that fails the run, a loop whose body is written once.
struct UnknownName {
    enum class Kind { Macro, Condition, Loop };

    Kind kind;
    std::string name;
    int line; // 1-based, where the name first occurs
};

// The unknown macro, condition and loop names of a template, each once, in
// the order they first occur. Tags in comments and in params and code blocks
// are not looked at, as the engine does not expand them; nor is the part of
// a "Gesetzt" for a field the table lacks, which is never expanded (that is
// how a template asks whether a column is there). A tag the engine cannot
// read is left to the run, which reports it.
std::vector<UnknownName> checkTemplateNames(std::string_view text, const TemplateNames &known);

// "Zeile 3: unbekanntes Makro \"Wohnug\"", Windows-1252.
std::string describe(const UnknownName &unknown);

} // namespace kaviro

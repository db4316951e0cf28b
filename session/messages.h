#pragma once

// Texts of the messages the desktop program and the headless publisher share
// on the road to the pages, in UTF-8; "\r" breaks the line.
namespace kaviro::messages {

inline constexpr const char *connectionFailed =
    "Die Verbindung zur Datenbank konnte nicht hergestellt werden.\r"
    "Prüfen Sie die Einstellung in den Datenbankoptionen.";
inline constexpr const char *tableFailed =
    "Die Verbindung zu den Tabellen der Datenbank konnte nicht hergestellt werden.\r"
    "Prüfen Sie die Einstellung in den Datenbankoptionen.";
inline constexpr const char *noTable =
    "Es wurden keine HTML-Seiten erzeugt, weil keine Tabelle mit Wohnungen geöffnet ist.\r"
    "Prüfen Sie die Einstellung in den Datenbankoptionen.";
// %1: the template file's name.
inline constexpr const char *noTemplate =
    "Die Vorlagendatei \"%1\" wurde nicht gefunden.\r"
    "Prüfen Sie die Einstellung auf der Seite \"Template\" der Optionen.";

} // namespace kaviro::messages

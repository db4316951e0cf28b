#include "app/publishinfo.h"

#include "common/version.h"

namespace kaviro {

std::string publishUsage(const std::string &settingsFile)
{
    return "Aufruf: kaviro-publish [--settings DATEI] [--sort \"Feld ASC|DESC\"] [--upload | --upload-all | --check]\n"
           "       kaviro-publish --help | --version\n"
           "\n"
           "Erzeugt die HTML-Seiten der aktiven Wohnungen wie \"HTML erzeugen\" im Programm\n"
           "Kaviro und nennt die geschriebenen Dateien.\n"
           "\n"
           "  --settings DATEI  die Einstellungsdatei (Vorgabe: die des Programms Kaviro,\n"
           "                    hier " + settingsFile + ")\n"
           "  --sort TEXT       die Reihenfolge der Wohnungen, etwa \"Ort DESC\" (Vorgabe:\n"
           "                    \"Wohnung ASC\")\n"
           "  --upload          überträgt die Seiten danach per FTP oder SFTP wie \"FTP\n"
           "                    Upload\"; Seiten, die der Server unverändert hat, nicht noch\n"
           "                    einmal; Strg+C (SIGINT) oder SIGTERM brechen ab\n"
           "  --upload-all      wie --upload, sendet aber jede Seite\n"
           "  --check           prüft Einstellungen und Vorlage, ohne Seiten zu schreiben;\n"
           "                    Rückgabewert 1 bei einem Fehler oder einem unbekannten Namen\n"
           "  --help            zeigt diese Hilfe\n"
           "  --version         zeigt Version und Erstellungszeit\n"
           "\n"
           "Rückgabewert 0, wenn die Seiten geschrieben (und mit --upload übertragen)\n"
           "wurden, sonst 1 (2 bei falschem Aufruf).\n";
}

std::string publishVersion()
{
    return std::string("kaviro-publish (Kaviro) ") + version::productVersion + "\n"
           "Version : " + version::fileVersion + "\n"
           "Kompiliert am : " + version::buildTime + "\n";
}

} // namespace kaviro

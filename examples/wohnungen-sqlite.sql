-- Die Tabelle der Wohnungsangebote für SQLite.
--   sqlite3 wohnungen.db < wohnungen-sqlite.sql
-- Die Namen stehen in Anführungszeichen, damit Groß- und Kleinschreibung
-- erhalten bleiben. "Id" ist der Primärschlüssel: Kaviro zeigt ihn nie, aber
-- mit ihm ändert das Speichern genau eine Zeile, auch wenn zwei Angebote
-- gleich aussehen. SQLite vergibt ihn beim Einfügen selbst.
CREATE TABLE "Wohnungen" (
  "Wohnung"      VARCHAR(80),
  "Flaeche"      DOUBLE,
  "Strasse"      VARCHAR(50),
  "PLZ"          VARCHAR(8),
  "Ort"          VARCHAR(35),
  "Beschreibung" TEXT,
  "Miete"        DOUBLE,
  "Nebenkosten"  DOUBLE,
  "ZuMietenAb"   DATETIME,
  "Timestamp"    DATETIME,
  "Status"       BOOLEAN,
  "Id"           INTEGER PRIMARY KEY
);

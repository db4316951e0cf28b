-- Die Fotos der Wohnungsangebote für SQLite, neben "Wohnungen":
--   sqlite3 wohnungen.db < bilder-sqlite.sql
-- "WohnungId" ist der Schlüssel "Id" des Angebots; "Position" ordnet die
-- Fotos eines Angebots, "Bild" hält das JPEG, "Breite" und "Hoehe" seine
-- Größe in Pixeln. Ohne diese Tabelle arbeitet Kaviro ohne Fotos.
CREATE TABLE "Bilder" (
  "Id"        INTEGER PRIMARY KEY,
  "WohnungId" INTEGER NOT NULL REFERENCES "Wohnungen" ("Id") ON DELETE CASCADE,
  "Position"  INTEGER NOT NULL,
  "Titel"     VARCHAR(200),
  "Bild"      BLOB NOT NULL,
  "Breite"    INTEGER NOT NULL,
  "Hoehe"     INTEGER NOT NULL
);
CREATE INDEX "BilderWohnung" ON "Bilder" ("WohnungId", "Position");

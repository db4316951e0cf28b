-- Weitere Angaben zu den Wohnungen (wahlweise), für SQLite.
--   sqlite3 wohnungen.db < weitere-angaben-sqlite.sql
-- Kaviro zeigt jede weitere Spalte der Tabelle im Bearbeitungsbereich unter
-- "Weitere Angaben" und gibt sie in der Vorlage als Makro gleichen Namens aus
-- (etwa <macro name=Zimmer/>). Die Angaben zum Energieausweis verlangt § 87
-- GEG in jeder Anzeige: Art des Ausweises, Kennwert, wesentlicher
-- Energieträger, Baujahr und, wo angegeben, die Effizienzklasse.
ALTER TABLE "Wohnungen" ADD COLUMN "Zimmer" INTEGER;
ALTER TABLE "Wohnungen" ADD COLUMN "Kaution" DOUBLE;
ALTER TABLE "Wohnungen" ADD COLUMN "Heizkosten" DOUBLE;
ALTER TABLE "Wohnungen" ADD COLUMN "Baujahr" INTEGER;
-- "Bedarfsausweis" oder "Verbrauchsausweis"
ALTER TABLE "Wohnungen" ADD COLUMN "Energieausweis" VARCHAR(20);
-- Endenergiebedarf oder -verbrauch in kWh/(m²·a)
ALTER TABLE "Wohnungen" ADD COLUMN "Energiekennwert" DOUBLE;
ALTER TABLE "Wohnungen" ADD COLUMN "Energietraeger" VARCHAR(40);
-- A+ bis H
ALTER TABLE "Wohnungen" ADD COLUMN "Effizienzklasse" VARCHAR(3);

-- Dreißig Beispielangebote für die Tabelle "Wohnungen" (SQLite und PostgreSQL).
-- Vier sind vermietet (Status FALSE), eines ist noch nicht freigegeben
-- (Status leer); beide erscheinen nicht auf den Seiten.
INSERT INTO "Wohnungen" ("Wohnung", "Flaeche", "Strasse", "PLZ", "Ort", "Beschreibung", "Miete", "Nebenkosten", "ZuMietenAb", "Timestamp", "Status") VALUES
('Helle 3-Zimmer-Altbauwohnung am Stadtgarten', 86.5, 'Karlstraße 14', '79104', 'Freiburg im Breisgau',
 'Altbau von 1905 mit hohen Decken, Stuck und Dielenböden.
Wohnküche mit Einbauküche, Bad mit Wanne und Fenster, Balkon zum ruhigen Innenhof.
Straßenbahn und Bäcker direkt vor der Tür.', 1180.00, 245.00, '2025-09-01 00:00:00', '2025-06-12 09:14:22', TRUE),
('Moderne 2-Zimmer-Wohnung mit Südbalkon', 58.2, 'Ickstattstraße 9', '80469', 'München',
 'Ruhige Hoflage im Glockenbachviertel. Parkett, bodentiefe Fenster, Fußbodenheizung.
Einbauküche mit Spülmaschine, Kellerabteil, Fahrradraum.', 1495.00, 210.00, '2025-08-15 00:00:00', '2025-06-14 16:02:10', TRUE),
('Gemütliche Dachgeschosswohnung im Belgischen Viertel', 64.0, 'Brüsseler Straße 52', '50674', 'Köln',
 'Vier Dachschrägen, viel Holz und ein Blick über die Dächer bis zum Dom.
Zwei Zimmer, Küche, Duschbad. Kein Aufzug (4. OG).', 980.00, 190.00, '2025-08-01 00:00:00', '2025-06-02 11:30:00', TRUE),
('Sanierte 4-Zimmer-Wohnung für Familien', 112.3, 'Gohliser Straße 31', '04155', 'Leipzig',
 'Komplett saniert 2023: neue Bäder (Wanne und Dusche getrennt), Parkett, Gäste-WC.
Großer Balkon, Spielplatz im Hof, Kita und Grundschule in fünf Minuten zu Fuß.', 1240.00, 310.00, '2025-10-01 00:00:00', '2025-06-20 08:45:51', TRUE),
('Kleine Wohnung in der Äußeren Neustadt', 41.7, 'Görlitzer Straße 18', '01099', 'Dresden',
 'Zwei kleine Zimmer, Küche mit Fenster, Duschbad.
Kneipen, Cafés und die Elbe gleich um die Ecke – ideal für Studierende.', 520.00, 140.00, '2025-07-15 00:00:00', '2025-05-28 19:20:03', TRUE),
('Maisonette mit Dachterrasse in Ottensen', 95.0, 'Bahrenfelder Straße 101', '22765', 'Hamburg',
 'Wohnen auf zwei Ebenen: unten Wohnküche und Gästezimmer, oben Schlafzimmer und Bad.
Dachterrasse mit 18 qm, Tiefgaragenstellplatz für 120 € im Monat möglich.', 1890.00, 330.00, '2025-09-15 00:00:00', '2025-06-18 13:05:44', TRUE),
('Altbau-Charme am Kollwitzplatz', 78.4, 'Knaackstraße 60', '10405', 'Berlin',
 'Drei Zimmer, Dielen, Kachelofen (dekorativ), Bad mit Fenster.
Wochenmarkt samstags vor der Haustür. Keine Haustiere.', 1420.00, 260.00, '2025-08-01 00:00:00', '2025-06-01 10:00:00', TRUE),
('Studentenapartment nahe Schloss', 26.5, 'Schlossplatz 3a', '48149', 'Münster',
 'Möbliertes Einzimmerapartment mit Pantryküche und Duschbad.
Internet und Strom in den Nebenkosten enthalten. Fahrradkeller.', 455.00, 95.00, '2025-10-01 00:00:00', '2025-06-22 17:41:29', TRUE),
('Wohnen am Neckar mit Blick auf den Hölderlinturm', 69.8, 'Bursagasse 7', '72070', 'Tübingen',
 'Zwei Zimmer in einem liebevoll sanierten Fachwerkhaus der Altstadt.
Kleine Küche, Bad mit Dusche, gemeinsamer Garten am Fluss.', 890.00, 175.00, '2025-09-01 00:00:00', '2025-06-05 09:12:00', TRUE),
('Großzügige Wohnung in der Altstadt', 101.0, 'Brückstraße 4', '93047', 'Regensburg',
 'Vier Zimmer mit Blick auf die Steinerne Brücke, Gewölbedecken im Flur.
Einbauküche, zwei Bäder, Abstellraum.', 1350.00, 280.00, '2025-08-01 00:00:00', '2025-05-30 15:33:18', TRUE),
('Ruhige 2-Zimmer-Wohnung am Ringpark', 55.0, 'Hofstraße 12', '97070', 'Würzburg',
 'Hell und ruhig zum Park gelegen, Laminat, Bad mit Dusche, Kellerraum.
Besichtigung am Übergabetag ab 15:30 Uhr.', 640.00, 150.00, '2025-08-01 15:30:00', '2025-06-09 12:00:00', TRUE),
('Backsteinhaus-Wohnung an der Obertrave', 73.6, 'An der Obertrave 22', '23552', 'Lübeck',
 'Drei Zimmer mit Blick aufs Wasser, Holzfenster, Dielenböden.
Die Altstadtinsel mit Läden und Museen liegt vor der Tür.', 920.00, 200.00, '2025-09-01 00:00:00', '2025-06-11 18:10:37', TRUE),
('WG-geeignete 4-Zimmer-Wohnung', 98.5, 'Weender Landstraße 45', '37075', 'Göttingen',
 'Vier gleich große Zimmer, Wohnküche, Bad und separates WC.
Bus zum Campus alle zehn Minuten. Vermietung an eine WG ausdrücklich möglich.', 1040.00, 290.00, '2025-10-01 00:00:00', '2025-06-25 08:00:00', TRUE),
('Exklusive Wohnung in der Heidelberger Altstadt', 121.0, 'Hauptstraße 188', '69117', 'Heidelberg',
 'Fünf Zimmer über zwei Etagen, Blick auf das Schloss, Kamin im Wohnzimmer.
Hochwertige Einbauküche, Bad mit Wanne und Dusche, Gäste-WC.', 2150.00, 390.00, '2025-11-01 00:00:00', '2025-06-28 14:55:02', TRUE),
('Helle Wohnung nahe Burg', 62.0, 'Bergstraße 10', '90403', 'Nürnberg',
 'Zwei Zimmer, Wohnküche, Bad mit Fenster, Balkon nach Westen.
U-Bahn in fünf Minuten, Altstadt zu Fuß erreichbar.', 780.00, 180.00, '2025-08-15 00:00:00', '2025-06-03 16:16:16', TRUE),
('Wohnung im Viertel mit Weserblick', 70.0, 'Osterdeich 96', '28203', 'Bremen',
 'Drei Zimmer, großer Wohnraum mit Erker, Bad mit Wanne.
Der Deich lädt zum Joggen und Radeln ein.', 850.00, 210.00, '2025-09-01 00:00:00', '2025-06-07 10:42:00', FALSE),
('Stilvolle Wohnung an der Königsallee', 88.0, 'Königsallee 41', '40212', 'Düsseldorf',
 'Zwei große Zimmer, Ankleide, Bad mit Naturstein, Concierge im Haus.
Nur an Nichtraucher.', 1980.00, 420.00, '2025-10-01 00:00:00', '2025-06-21 11:11:11', TRUE),
('Familienwohnung im Stuttgarter Westen', 104.5, 'Schwabstraße 77', '70197', 'Stuttgart',
 'Vier Zimmer, Wohnküche, zwei Balkone, Bad und Gäste-WC.
Kinderwagenraum im Erdgeschoss, Spielplatz gegenüber.', 1610.00, 300.00, '2025-09-01 00:00:00', '2025-06-16 09:30:00', TRUE),
('Apartment am Rheinufer', 38.0, 'Erste Fährgasse 2', '53113', 'Bonn',
 'Ein Zimmer mit Schlafnische, Küchenzeile, Duschbad.
Blick auf den Rhein und das Siebengebirge.', 590.00, 120.00, '2025-08-01 00:00:00', '2025-05-26 20:05:00', TRUE),
('Seenahe Wohnung mit Garten', 76.2, 'Seestraße 25', '78464', 'Konstanz',
 'Drei Zimmer im Erdgeschoss mit eigenem Gartenanteil, fünf Minuten zum See.
Einbauküche, Bad mit Dusche, Garage für 80 € im Monat.', 1150.00, 230.00, '2025-09-15 00:00:00', '2025-06-19 07:58:40', TRUE),
('Sanierter Altbau am Domplatz', 67.5, 'Marktstraße 8', '99084', 'Erfurt',
 'Zwei Zimmer, Stuck, Dielen, neues Bad mit ebenerdiger Dusche.
Straßenbahn direkt am Haus.', 690.00, 170.00, '2025-08-01 00:00:00', '2025-06-08 13:20:00', TRUE),
('Hafennahe Wohnung in der Kröpeliner-Tor-Vorstadt', 59.9, 'Doberaner Straße 120', '18057', 'Rostock',
 'Zwei Zimmer, Balkon, Laminat, Bad mit Wanne. Stadthafen in zehn Minuten.', 610.00, 160.00, NULL, '2025-06-13 15:45:10', TRUE),
('Wohnung im Holländischen Viertel', 72.0, 'Mittelstraße 19', '14467', 'Potsdam',
 'Drei Zimmer in einem rotgeklinkerten Holländerhaus, Holztreppe, kleiner Hof.
Ruhige Lage trotz Innenstadtnähe.', 1190.00, 240.00, '2025-10-15 00:00:00', '2025-06-24 12:34:56', FALSE),
('Fachwerkwohnung in Klein-Venedig', 54.3, 'Am Leinritt 6', '96049', 'Bamberg',
 'Zwei Zimmer direkt an der Regnitz, Holzbalken, Bad mit Dusche.
Besichtigung am Übergabetag ab 10:00 Uhr.', 720.00, NULL, '2025-09-01 10:00:00', '2025-06-10 09:00:00', TRUE),
('Helle 3-Zimmer-Wohnung im Bismarckviertel', 81.0, 'Hermanstraße 15', '86150', 'Augsburg',
 'Drei Zimmer, Wohnzimmer mit Erker, Balkon, Einbauküche.
Aufzug und Kellerabteil, Tiefgarage auf Wunsch.', 990.00, 220.00, '2025-08-01 00:00:00', '2025-06-06 17:17:17', TRUE),
('Wohnung mit Fördeblick', 66.0, 'Düsternbrooker Weg 30', '24105', 'Kiel',
 'Zwei Zimmer, großer Balkon mit Blick auf die Förde, Bad mit Fenster.
Fähranleger und Kiellinie in wenigen Schritten.', 840.00, 190.00, '2025-09-01 00:00:00', '2025-06-15 10:10:10', FALSE),
('Altstadtwohnung am Kirschgarten', 47.5, 'Kirschgarten 11', '55116', 'Mainz',
 'Anderthalb Zimmer im historischen Fachwerkhaus, Kochnische, Duschbad.
Mitten in der Altstadt, Dom und Rhein zu Fuß erreichbar.', 640.00, 140.00, '2025-08-15 00:00:00', '2025-06-04 14:00:00', TRUE),
('Neubauwohnung am Campus', 49.0, 'Leutragraben 5', '07743', 'Jena',
 'Zwei Zimmer, Aufzug, Fußbodenheizung, Einbauküche, Duschbad.
Barrierearm, Fahrradstellplätze im Hof.', 610.00, 150.00, '2025-10-01 00:00:00', '2025-06-23 08:08:08', NULL),
('Wohnung an der Hase', 84.0, 'Hasestraße 40', '49074', 'Osnabrück',
 'Drei Zimmer, Wohnküche, Bad mit Wanne, Blick auf die Hase.
Ruhig und zentral, Bäcker und Markt um die Ecke.', 760.00, 200.00, '2025-09-01 00:00:00', '2025-06-17 16:00:00', FALSE),
('Ferienflair am Bodensee: Wohnung in Überlingen', 58.0, 'Münsterstraße 21', '88662', 'Überlingen',
 'Zwei Zimmer mit Seeblick, Einbauküche, Bad mit Dusche, Stellplatz.
Die Uferpromenade liegt dreihundert Meter entfernt.', 870.00, 185.00, '2025-11-01 00:00:00', '2025-06-27 19:19:19', TRUE);

#pragma once

#include <QSqlDatabase>

namespace kaviro {

// Adds the demo listings' photos, which the list demo-bilder/bilder.txt of
// the examples names and the program carries, to a database holding the
// demo listings under their keys and the table Bilder. Errors are
// kaviro::Error with German texts.
void addDemoPhotos(const QSqlDatabase &db);

} // namespace kaviro

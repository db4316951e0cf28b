// kaviro-createdb FILE [--empty]: creates a new SQLite database with the tables
// Wohnungen and Bilder and, unless --empty is given, the demo listings with
// their photos; prints the connection string that opens it. Never overwrites
// an existing file.
#include "store/listingdatabase.h"
#include "store/windows1252.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <exception>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool empty = args.removeAll(QStringLiteral("--empty")) > 0;
    if (args.size() != 1 || args.first().startsWith(u'-')) {
        std::fputs("Aufruf: kaviro-createdb DATEI [--empty]\n", stderr);
        return 2;
    }
    try {
        const QString connection = kaviro::createSqliteDatabase(args.first(), !empty);
        std::printf("%s\n", connection.toUtf8().constData());
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", kaviro::exceptionText(error).toUtf8().constData());
        return 1;
    }
    return 0;
}

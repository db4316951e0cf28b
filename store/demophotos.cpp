#include "store/demophotos.h"

#include "store/photostore.h"
#include "store/windows1252.h"

#include <QFile>
#include <QString>
#include <QStringList>

namespace kaviro {

void addDemoPhotos(const QSqlDatabase &db)
{
    const QString folder = QStringLiteral(":/kaviro/examples/demo-bilder/");
    QFile list(folder + QStringLiteral("bilder.txt"));
    if (!list.open(QIODevice::ReadOnly))
        throw windows1252Error(QStringLiteral("Die Liste der Demo-Fotos fehlt im Programm."));
    const QStringList lines = QString::fromUtf8(list.readAll()).split(u'\n');
    PhotoStore photos(db);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        // Key, file, then the title, which may hold blanks or be missing.
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        bool isKey = false;
        const qint64 listing = fields.first().toLongLong(&isKey);
        if (!isKey || fields.size() < 2)
            throw windows1252Error(
                QStringLiteral("Zeile %1 der Liste der Demo-Fotos ist fehlerhaft: %2").arg(i + 1).arg(line));
        photos.add(listing, folder + fields[1], fields.mid(2).join(u' '));
    }
}

} // namespace kaviro

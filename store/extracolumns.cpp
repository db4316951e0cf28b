#include "store/extracolumns.h"

#include "store/listingquery.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <QHash>

namespace kaviro {

namespace {

bool isListingColumn(const QString &name)
{
    for (const ListingColumn &column : listingColumns) {
        if (name.compare(QLatin1StringView(column.name.data(), qsizetype(column.name.size())), Qt::CaseInsensitive)
            == 0)
            return true;
    }
    return false;
}

ColumnKind driverColumnKind(const QSqlField &field, int *size)
{
    switch (field.metaType().id()) {
    case QMetaType::QString:
        *size = field.length() > 0 ? field.length() : 0;
        return ColumnKind::Text;
    case QMetaType::Double:
    case QMetaType::Float:
        return ColumnKind::Float;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return ColumnKind::Integer;
    case QMetaType::Bool:
        return ColumnKind::Boolean;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return ColumnKind::DateTime;
    default:
        return ColumnKind::Other;
    }
}

// SQLite's declared types by name, from PRAGMA table_info.
QHash<QString, QString> sqliteDeclaredTypes(const QSqlDatabase &db, const QString &quotedTable)
{
    QHash<QString, QString> types;
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quotedTable))) {
        while (query.next())
            types.insert(query.value(1).toString(), query.value(2).toString());
    }
    return types;
}

} // namespace

ColumnKind sqliteColumnKind(const QString &declaredType, int *size)
{
    const QString type = declaredType.toUpper();
    *size = 0;
    if (type.contains(u"BOOL"))
        return ColumnKind::Boolean;
    if (type.contains(u"DATE") || type.contains(u"TIME"))
        return ColumnKind::DateTime;
    if (type.contains(u"INT"))
        return ColumnKind::Integer;
    if (type.contains(u"CHAR") || type.contains(u"CLOB") || type.contains(u"TEXT")) {
        static const QRegularExpression length(QStringLiteral("\\(\\s*(\\d+)\\s*\\)"));
        const QRegularExpressionMatch match = length.match(type);
        if (match.hasMatch())
            *size = match.captured(1).toInt();
        return ColumnKind::Text;
    }
    if (type.contains(u"REAL") || type.contains(u"FLOA") || type.contains(u"DOUB") || type.contains(u"NUM")
        || type.contains(u"DEC"))
        return ColumnKind::Float;
    return ColumnKind::Other;
}

std::vector<ExtraColumn> extraColumns(const QSqlDatabase &db, const ListingQuery &query)
{
    const QSqlRecord record = db.record(query.quotedTable());
    const bool sqlite = db.driverName() == u"QSQLITE";
    const QHash<QString, QString> declared = sqlite ? sqliteDeclaredTypes(db, query.quotedTable())
                                                    : QHash<QString, QString>();
    std::vector<ExtraColumn> extras;
    for (const QString &name : query.fields()) {
        if (isListingColumn(name) || query.primaryKey().contains(name))
            continue;
        ExtraColumn extra{name};
        extra.kind = sqlite ? sqliteColumnKind(declared.value(name), &extra.size)
                            : driverColumnKind(record.field(name), &extra.size);
        extras.push_back(std::move(extra));
    }
    return extras;
}

} // namespace kaviro

#include "schema/Schema.h"

namespace schema {

const Table& articles() {
    static const Table t{QLatin1String("tblArticulos"),
                         {{QLatin1String("CODARTI"), QLatin1String("TEXT COLLATE NOCASE")},
                          {QLatin1String("NOMARTI"), QLatin1String("TEXT")},
                          {QLatin1String("margen1"), QLatin1String("REAL")},
                          {QLatin1String("margen2"), QLatin1String("REAL")},
                          {QLatin1String("margen3"), QLatin1String("REAL")},
                          {QLatin1String("costesiniva"), QLatin1String("REAL")},
                          {QLatin1String("ultimopreciocoste"), QLatin1String("REAL")},
                          {QLatin1String("pvp1"), QLatin1String("REAL")},
                          {QLatin1String("pvp2"), QLatin1String("REAL")},
                          {QLatin1String("pvp3"), QLatin1String("REAL")}},
                         {QLatin1String("idxArticulosCodigo"), {QLatin1String("CODARTI")}}};
    return t;
}

const Table& entries() {
    static const Table t{QLatin1String("tblHistoricoEntradas"),
                         {{QLatin1String("CODARTI"), QLatin1String("TEXT COLLATE NOCASE")},
                          {QLatin1String("entro"), QLatin1String("DATETIME")},
                          {QLatin1String("pvp"), QLatin1String("REAL")},
                          {QLatin1String("descuento"), QLatin1String("REAL")}},
                         {QLatin1String("idxEntradasCodigo"), {QLatin1String("CODARTI"), QLatin1String("entro")}}};
    return t;
}

const std::vector<Table>& tables() {
    static const std::vector<Table> all{articles(), entries()};
    return all;
}

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString indexColumns(const Table& table) {
    QStringList keys;
    for (const QLatin1String column : table.index.columns)
        keys << quoted(column) + (keys.isEmpty() ? QLatin1String(" COLLATE NOCASE") : QLatin1String());
    return keys.join(QLatin1String(", "));
}

QString createIndex(const Table& table) {
    return QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
        .arg(quoted(table.index.name), quoted(table.name), indexColumns(table));
}

QString createTable(const Table& table, const QStringList& others) {
    QStringList columns;
    for (const Column& c : table.columns)
        columns << quoted(c.name) + QLatin1Char(' ') + c.type;
    columns << others;
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(table.name), columns.join(QLatin1String(", ")));
}

} // namespace schema

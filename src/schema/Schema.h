#pragma once
// What the program, the converter, the sample generator and the tests all know of the shop's
// database: the two tables the run reads and writes, the columns it needs of each, and the index
// each needs to be read fast. A shop's file holds more (other columns, other tables); it may hold
// no less. Names are the program's own, compared without regard to case, as Jet compares them.
//
// Dates are stored as text, "YYYY-MM-DD HH:MM:SS" (the converter writes Jet's dates so, the
// program reads and writes them so): see runtime/Conversions.h for how a day number becomes one.
#include <QString>
#include <QStringList>
#include <vector>

namespace schema {

struct Column {
    QLatin1String name;
    QLatin1String type; // as a new file declares it
};

// The index a table needs: its first column a text, compared without regard to case.
struct Index {
    QLatin1String name;
    std::vector<QLatin1String> columns;
};

struct Table {
    QLatin1String name;
    std::vector<Column> columns; // those the program reads or writes
    Index index;
};

const Table& articles();            // tblArticulos
const Table& entries();             // tblHistoricoEntradas, the purchase entries
const std::vector<Table>& tables(); // both, articles first

// An identifier quoted for SQLite: in double quotes, each of its own doubled.
QString quoted(const QString& identifier);

// The table's index columns as CREATE INDEX lists them: "CODARTI" COLLATE NOCASE, "entro".
QString indexColumns(const Table& table);
// The statement that makes the table's index under its own name.
QString createIndex(const Table& table);
// The statement that makes the table: the columns the program needs, then `others` (declared as
// given, "FAMILIA TEXT").
QString createTable(const Table& table, const QStringList& others = {});

} // namespace schema

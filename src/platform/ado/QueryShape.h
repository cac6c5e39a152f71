#pragma once
// What a query's text tells the recordset: whether it selects whole rows of one table (then a
// keyset cursor can follow its rows by their keys), and the statements that do it.
#include "schema/Schema.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace ado {

struct QueryShape {
    bool keyset = false;
    bool view = false;           // the "table" is a view: its rows have no keys to follow
    QString table;               // the table whose rows the query selects
    QString keysSql;             // SELECT rowid FROM <table> <the rest of the query>
    QString rowSql;              // SELECT * FROM <table> WHERE rowid=?
    QStringList orderColumns;    // the columns it is ordered by, when they are plain columns
    std::vector<int> tablesRead; // every table the keys' statement reads (set by the connection)

    // `sql` with its literals already replaced by parameters.
    static QueryShape of(const QString& sql);
};

// An identifier quoted for the engine.
using schema::quoted;

} // namespace ado

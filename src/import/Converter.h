#pragma once
// Writes an Access database, as JetReader reads it, into a new SQLite file that the program opens
// as its own: every user table with every column and row, its primary key and indexes, text
// columns compared without regard to case (as Jet compares them), and the two indexes the
// program's run needs.
//
// Names are the file's, quoted, with one exception: SQLite keeps names beginning with "sqlite_"
// for itself, so such a table takes a "_" in front and the summary says so. Index names are the
// table's and the index's, made unique where they would meet another. What SQLite refuses is
// said in Spanish: the target's fault (a full disk) as a WriteFailed, the source's (rows that
// repeat their primary key) as a DamagedFile.
#include "import/JetReader.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <stdexcept>
#include <vector>

namespace importer {

struct TableSummary {
    QString name;
    QString storedAs;      // the name in the SQLite file, where it is not `name`
    long long counted = 0; // as the table's definition says (fewer than read: Access was not closed properly)
    long long read = 0, written = 0;
    long long inexact = 0; // currency or decimal values with more digits than a double holds
    QStringList indexes;   // as made in the SQLite file; those added for the program say so
};

struct Summary {
    QString version;
    std::vector<TableSummary> tables;
    QStringList missing; // columns the program needs that the file does not have
};

// Why the SQLite side failed (a full disk, say).
class WriteFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class Interrupted : public std::runtime_error {
public:
    Interrupted() : std::runtime_error("interrumpido") {}
};

struct ConvertCallbacks {
    std::function<void(const JetTable&)> tableStarts;
    std::function<void(const JetTable&, long long rowsDone)> rowsDone; // now and then, and at the table's end
    std::function<void()> working;           // now and then while SQLite works on its own (an index, the commit)
    const std::atomic<bool>* stop = nullptr; // set: the conversion stops
};

// The whole conversion into `target`, an empty file, in one transaction.
Summary convert(const JetReader& source, const QString& target, const ConvertCallbacks& cb);

// The SQLite declaration of a Jet column.
QString declaredType(const JetColumn& column);

} // namespace importer

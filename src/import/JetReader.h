#pragma once
// An Access database (Jet 3, Jet 4 or ACE) read through libmdb, value by value: every column's
// stored bytes are read and turned into what the SQLite file will hold, never through the text
// that libmdb's tools print. libmdb is not hardened against damaged files: what is read is
// checked against the page it lies on, and a fault is a DamagedFile, never a guess.
//
// Nothing is lost in silence. libmdb stops reading where a file is cut short or a page is
// damaged, and skips rows it cannot take apart, without a word; so a table is read whole or not
// at all: its rows as many as its definition counts (more is allowed: Access leaves the count
// behind when it is not closed properly), every memo and OLE value as long as it says. The
// catalog is read the same way, as a table; every table it lists must lie inside the file, and
// the engine's own tables are read whole too (not converted: a file cut in its last pages may
// have lost nothing else). Names Access never allows (two columns of one name, two tables of
// one name, a name left empty) are a damaged file too. The catalog's properties (formats,
// captions) are not read: nothing here needs them, and damaged ones make libmdb go round for
// ever.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace importer {

// A file that cannot be read; the text says why, for the person at the keyboard.
class DamagedFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The kinds of Jet columns (libmdb's numbers).
enum class JetType {
    YesNo = 0x01,
    Byte = 0x02,
    Integer = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0a,
    Ole = 0x0b,
    Memo = 0x0c,
    ReplicationId = 0x0f,
    Decimal = 0x10,
    Complex = 0x12,
};

struct JetColumn {
    QString name;
    JetType type = JetType::Binary;
    int size = 0; // in characters for a text
    int precision = 0, scale = 0;
    bool autoNumber = false;
};

struct JetIndex {
    QString name;
    bool primaryKey = false, unique = false;
    std::vector<std::pair<int, bool>> keys; // column number, descending
};

struct JetTable {
    QString name;
    std::vector<JetColumn> columns;
    std::vector<JetIndex> indexes;
    long long rowCount = 0; // as the table's definition says
};

// One value as SQLite will store it.
struct Value {
    enum Kind { Null, Integer, Real, Text, Blob } kind = Null;
    long long integer = 0;
    double real = 0;
    QByteArray bytes;     // a text in UTF-8, or a blob
    bool inexact = false; // a currency or decimal with more digits than a double holds
};

class JetReader {
public:
    // Opens the file read-only; a file that is not an Access database, is cut short, damaged or
    // encrypted fails here, saying which.
    explicit JetReader(const QString& path);
    ~JetReader();
    JetReader(const JetReader&) = delete;
    JetReader& operator=(const JetReader&) = delete;

    QString version() const; // "Jet 3", "Jet 4", "ACE 12"...
    QStringList userTables() const;
    JetTable table(const QString& name) const;
    // Calls onRow for each row of the table, in the order it lies in the file, until it returns
    // false; the values follow the table's columns. Fewer rows than the table's definition
    // counts is a DamagedFile, once they are read.
    void readRows(const JetTable& table, const std::function<bool(const std::vector<Value>&)>& onRow) const;

    // Whether the file at `path` looks like an Access database at all: its first page says so.
    static bool looksLikeAccess(const QString& path);

private:
    struct Handle;
    std::unique_ptr<Handle> h_;
};

} // namespace importer

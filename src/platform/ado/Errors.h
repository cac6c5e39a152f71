#pragma once
// The provider's failures: their numbers, as ADO and the Jet provider report them, and their
// Spanish descriptions. Only a file held by another program gives the generic failure; every
// other fault has a number of its own, and the engine's reason in its description.
#include <QString>

struct sqlite3;

namespace ado {

namespace err {
constexpr long Generic = -2147467259;            // 0x80004005: the file is in use by another program
constexpr long ReadOnly = -2147217911;           // 0x80040E09
constexpr long TableNotFound = -2147217865;      // 0x80040E37
constexpr long ColumnNotFound = -2147217904;     // 0x80040E10: a name the query does not know
constexpr long ColumnsChanged = -2147217903;     // 0x80040E11: the table changed under the recordset
constexpr long Syntax = -2147217900;             // 0x80040E14
constexpr long Integrity = -2147217873;          // 0x80040E2F: a constraint refused the change
constexpr long RowDeleted = -2147217885;         // 0x80040E23
constexpr long RowChanged = -2147217864;         // 0x80040E38: changed by another program since it was read
constexpr long ObjectClosed = -2146824584;       // 3704
constexpr long NoCurrentRecord = -2146825267;    // 3021
constexpr long ItemNotFound = -2146825023;       // 3265
constexpr long ProviderNotFound = -2146824582;   // 3706
constexpr long NotSupported = -2146825037;       // 3251
constexpr long FileNotFound = -2147024894;       // 0x80070002
constexpr long AccessDenied = -2147024891;       // 0x80070005
constexpr long DiskFull = -2147024784;           // 0x80070070
constexpr long DiskError = -2147024865;          // 0x8007001F
constexpr long UnrecognizedFormat = -2147024883; // 0x8007000D
} // namespace err

// The file name as the operator knows it (native separators).
QString displayName(const QString& path);

[[noreturn]] void raiseObjectClosed();
[[noreturn]] void raiseObjectOpen();
[[noreturn]] void raiseNoCurrentRecord();
[[noreturn]] void raiseRowDeleted();
[[noreturn]] void raiseInUse(const QString& path);
[[noreturn]] void raiseUnrecognizedFormat(const QString& path);

// The failure for an engine result code on the database at `path`.
[[noreturn]] void raiseSqlite(sqlite3* db, int code, const QString& path);

} // namespace ado

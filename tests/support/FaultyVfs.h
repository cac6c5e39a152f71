#pragma once
// A disk that fails on request, for SQLite: a VFS wrapping the default one, registered as the
// default, that counts every write, sync and truncate of every file it opens (the database and
// its journal) and fails the Nth of one kind, once or from then on, as a failing disk or a full
// one would. The failed operation does nothing.
//
// In a test program: faults::install() once, then arm() before the work and disarm() after.
// In another program (the converter): preload the library zuk_faulty_vfs_preload with
// ZUK_FAULT=KIND:N:once|lasting:ioerr|full (KIND write, sync or truncate).

namespace testing::faults {

enum class Op { Write, Sync, Truncate };

struct Plan {
    Op op = Op::Write;
    int nth = 0;          // 1 for the first operation of that kind after arm(); 0 fails nothing
    bool lasting = false; // every later one of that kind fails too
    bool full = false;    // SQLITE_FULL rather than the kind's own I/O error
};

void install(); // registers the VFS as the default, once
void arm(const Plan& plan);
void disarm(); // operations go through again; the counts go on
int count(Op op);
bool fired(); // whether an operation failed since arm()

// Whether a file opened through the VFS is open at the moment (tests close everything between trials).
int openFiles();

} // namespace testing::faults

#include "FaultyVfs.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>
#include <string>

namespace testing::faults {

namespace {

sqlite3_vfs* real = nullptr;
sqlite3_vfs faulty;
Plan plan;
std::array<std::atomic<int>, 3> counts{};
std::atomic<bool> hasFired{false};
std::atomic<int> opened{0};

// The wrapper's file: its own header, then the real file, aligned as the real VFS needs.
struct File {
    sqlite3_file base;
    sqlite3_file* real;
};
constexpr std::size_t kRealOffset = (sizeof(File) + 15) / 16 * 16;

sqlite3_file* realOf(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

// Counts the operation; gives the error it must fail with, or SQLITE_OK.
int check(Op op, int ioerr) {
    const int n = ++counts[static_cast<std::size_t>(op)];
    if (plan.nth <= 0 || plan.op != op) return SQLITE_OK;
    if (n == plan.nth || (plan.lasting && n > plan.nth)) {
        hasFired = true;
        return plan.full ? SQLITE_FULL : ioerr;
    }
    return SQLITE_OK;
}

int xClose(sqlite3_file* f) {
    const int rc = realOf(f)->pMethods->xClose(realOf(f));
    --opened;
    return rc;
}
int xRead(sqlite3_file* f, void* p, int n, sqlite3_int64 at) { return realOf(f)->pMethods->xRead(realOf(f), p, n, at); }
int xWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
    if (const int rc = check(Op::Write, SQLITE_IOERR_WRITE)) return rc;
    return realOf(f)->pMethods->xWrite(realOf(f), p, n, at);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    if (const int rc = check(Op::Truncate, SQLITE_IOERR_TRUNCATE)) return rc;
    return realOf(f)->pMethods->xTruncate(realOf(f), size);
}
int xSync(sqlite3_file* f, int flags) {
    if (const int rc = check(Op::Sync, SQLITE_IOERR_FSYNC)) return rc;
    return realOf(f)->pMethods->xSync(realOf(f), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) { return realOf(f)->pMethods->xFileSize(realOf(f), size); }
int xLock(sqlite3_file* f, int level) { return realOf(f)->pMethods->xLock(realOf(f), level); }
int xUnlock(sqlite3_file* f, int level) { return realOf(f)->pMethods->xUnlock(realOf(f), level); }
int xCheckReservedLock(sqlite3_file* f, int* out) { return realOf(f)->pMethods->xCheckReservedLock(realOf(f), out); }
int xFileControl(sqlite3_file* f, int op, void* arg) { return realOf(f)->pMethods->xFileControl(realOf(f), op, arg); }
int xSectorSize(sqlite3_file* f) { return realOf(f)->pMethods->xSectorSize(realOf(f)); }
int xDeviceCharacteristics(sqlite3_file* f) { return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f)); }
int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** p) {
    return realOf(f)->pMethods->xShmMap(realOf(f), region, size, extend, p);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return realOf(f)->pMethods->xShmLock(realOf(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) { realOf(f)->pMethods->xShmBarrier(realOf(f)); }
int xShmUnmap(sqlite3_file* f, int deleteFlag) { return realOf(f)->pMethods->xShmUnmap(realOf(f), deleteFlag); }
int xFetch(sqlite3_file* f, sqlite3_int64 at, int n, void** p) {
    return realOf(f)->pMethods->xFetch(realOf(f), at, n, p);
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 at, void* p) { return realOf(f)->pMethods->xUnfetch(realOf(f), at, p); }

const sqlite3_io_methods methods = {3,
                                    xClose,
                                    xRead,
                                    xWrite,
                                    xTruncate,
                                    xSync,
                                    xFileSize,
                                    xLock,
                                    xUnlock,
                                    xCheckReservedLock,
                                    xFileControl,
                                    xSectorSize,
                                    xDeviceCharacteristics,
                                    xShmMap,
                                    xShmLock,
                                    xShmBarrier,
                                    xShmUnmap,
                                    xFetch,
                                    xUnfetch};

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    auto* file = reinterpret_cast<File*>(f);
    file->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(f) + kRealOffset);
    file->real->pMethods = nullptr;
    const int rc = real->xOpen(real, name, file->real, flags, outFlags);
    // A real file that was not opened is not closed: nor is ours.
    file->base.pMethods = file->real->pMethods ? &methods : nullptr;
    if (file->real->pMethods) ++opened;
    return rc;
}

} // namespace

void install() {
    if (real) return;
    real = sqlite3_vfs_find(nullptr);
    faulty = *real;
    faulty.zName = "zuk_faulty";
    faulty.szOsFile = static_cast<int>(kRealOffset) + real->szOsFile;
    faulty.pNext = nullptr;
    faulty.xOpen = xOpen;
    sqlite3_vfs_register(&faulty, 1);
}

void arm(const Plan& p) {
    plan = p;
    for (auto& c : counts)
        c = 0;
    hasFired = false;
}

void disarm() { plan.nth = 0; }
int count(Op op) { return counts[static_cast<std::size_t>(op)]; }
bool fired() { return hasFired; }
int openFiles() { return opened; }

} // namespace testing::faults

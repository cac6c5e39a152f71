#pragma once
// The conversion runs in a process of its own, so that a damaged file that makes libmdb fail (it
// is not hardened against them) ends in a clear message, never in a crash of the command.
//
// The reading process is bounded: it is stopped when it reads no row for two minutes (what libmdb
// prints is no progress: a damaged file can make it print the same warning for ever), and its
// memory is bounded to 1 GiB plus four times the source's size (libmdb reads page by page and
// SQLite writes through a small cache; what grows with the file is the longest memo or OLE value,
// which cannot be longer than the file, and its few copies while converted). Ctrl+C reaches it
// too: it stops at its next row.
#include <QString>
#include <chrono>

namespace importer {

constexpr auto kStall = std::chrono::seconds(120); // without a row read
long long memoryBound(const QString& source);      // in bytes

// How the reading ended, as the command tells it.
struct ReadingEnd {
    bool started = true;   // false: no process could be made
    bool complete = false; // the target is whole, and only waits for its name
    bool interrupted = false;
    bool overMemory = false; // past its bound, or refused memory
    bool stalled = false;
    QString unreadable;     // why the source could not be read, as the process said it
    QString unwritable;     // why the target could not be written
    QString table;          // the table it was reading, if any
    int signal = 0;         // the signal that ended it, if one did
    bool beyondEnd = false; // libmdb looked for data past the file's end
};

// Converts `source` into `temporary` (an empty file) in a reading process, and follows it. The
// process prints its progress and its summary on this command's standard output.
ReadingEnd readInOwnProcess(const QString& source, const QString& temporary);

// The reading process itself: converts, prints, tells the command through `status` how it goes,
// and ends.
[[noreturn]] void convertInThisProcess(const QString& source, const QString& temporary, int status);

} // namespace importer

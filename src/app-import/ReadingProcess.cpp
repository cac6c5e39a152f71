// The command's end of the reading process: starts it, reads what it tells and what libmdb
// prints, and stops it where it makes no progress or outgrows its memory.
#include "ReadingProcess.h"
#include "PipeProtocol.h"
#include "command/Command.h"
#include "command/Interrupt.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace importer {

namespace {

using Clock = std::chrono::steady_clock;
constexpr long long kMemoryBase = 1LL << 30; // plus four times the source's size
constexpr int kLibmdbKept = 4000;            // the last characters libmdb printed, read for what they mean

// The reading process's memory in use, in bytes (0 if unknown).
long long resident(pid_t pid) {
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

// What the reading process told, line by line.
struct Told {
    QString last; // its last word that is not progress: how it ended, if it could say
    QString table;
    bool outOfMemory = false;
    Clock::time_point progressed = Clock::now();

    void line(const QString& line) {
        if (pipe::startsWith(line, pipe::kTableStarts)) {
            progressed = Clock::now();
            table = pipe::textAfter(line, pipe::kTableStarts);
        } else if (pipe::is(line, pipe::kProgress)) {
            progressed = Clock::now();
        } else if (pipe::is(line, pipe::kOutOfMemory)) {
            outOfMemory = true;
        } else {
            last = line;
        }
    }
};

} // namespace

long long memoryBound(const QString& source) { return kMemoryBase + 4 * QFileInfo(source).size(); }

ReadingEnd readInOwnProcess(const QString& source, const QString& temporary) {
    ReadingEnd end;
    int status[2], errors[2];
    if (::pipe(status) != 0 || ::pipe(errors) != 0) {
        end.started = false;
        return end;
    }
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(status[0]);
        ::close(errors[0]);
        ::dup2(errors[1], STDERR_FILENO); // what libmdb prints, for the command to judge
        convertInThisProcess(source, temporary, status[1]);
    }
    ::close(status[1]);
    ::close(errors[1]);

    // Follow the reading: its last word, the table it is in, what libmdb said, and whether it
    // still makes progress and keeps to its memory (a damaged file can make libmdb go round for
    // ever, printing or growing).
    const long long bound = memoryBound(source);
    Told told;
    QString libmdb;
    QByteArray partial; // a line not yet whole
    pollfd fds[2] = {{status[0], POLLIN, 0}, {errors[0], POLLIN, 0}};
    int open = 2;
    bool forwarded = false;
    while (open > 0) {
        const int n = ::poll(fds, 2, 250);
        if (command::interrupted() && !forwarded) { // Ctrl+C, or a signal sent to this process alone
            ::kill(child, SIGINT);
            forwarded = true;
        }
        for (pollfd& p : fds) {
            if (n <= 0 || p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[4096];
            const ssize_t got = ::read(p.fd, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                ::close(p.fd);
                p.fd = -1;
                --open;
                continue;
            }
            if (p.fd == errors[0]) { // no progress, however much
                libmdb += QString::fromUtf8(buf, static_cast<qsizetype>(got));
                if (libmdb.size() > kLibmdbKept) libmdb = libmdb.right(kLibmdbKept);
                continue;
            }
            partial.append(buf, static_cast<qsizetype>(got));
            for (qsizetype nl; (nl = partial.indexOf('\n')) >= 0; partial.remove(0, nl + 1))
                told.line(QString::fromUtf8(partial.left(nl)));
        }
        if (Clock::now() - told.progressed > kStall)
            end.stalled = true;
        else if (resident(child) > bound)
            end.overMemory = true;
        if (end.stalled || end.overMemory) {
            ::kill(child, SIGKILL);
            break;
        }
    }
    int how = 0;
    ::waitpid(child, &how, 0);
    for (pollfd& p : fds)
        if (p.fd >= 0) ::close(p.fd);

    // libmdb's English, for what it means: glib and libmdb say so when memory is refused.
    if (libmdb.contains(QLatin1String("failed to allocate")) || libmdb.contains(QLatin1String("Out of memory")))
        told.outOfMemory = true;
    end.beyondEnd = libmdb.contains(QLatin1String("beyond EOF"));
    end.table = told.table;
    const bool exited = WIFEXITED(how);
    end.complete = exited && WEXITSTATUS(how) == 0 && pipe::is(told.last, pipe::kComplete) && !told.outOfMemory;
    end.interrupted = command::interrupted() || (exited && WEXITSTATUS(how) == command::kInterrupted);
    end.overMemory = end.overMemory || told.outOfMemory;
    if (pipe::startsWith(told.last, pipe::kUnwritable)) end.unwritable = pipe::textAfter(told.last, pipe::kUnwritable);
    if (pipe::startsWith(told.last, pipe::kUnreadable)) end.unreadable = pipe::textAfter(told.last, pipe::kUnreadable);
    if (WIFSIGNALED(how)) end.signal = WTERMSIG(how);
    return end;
}

} // namespace importer

// Brings a shop's Access database (Jet 3, Jet 4 or ACE) over to the SQLite file the program opens:
//
//   import_mdb [--replace] ORIGEN DESTINO
//
// The source is read through libmdb and never written. The target is made under a temporary name
// in its own folder, in one transaction, and takes its name only once complete: a crash, a full
// disk or Ctrl+C leaves no half-made database under that name. The reading runs in a process of
// its own, so that a damaged file that makes libmdb fail (it is not hardened against them) ends
// in a clear message, never in a crash of this command.
//
// The reading process is bounded: it is stopped when it reads no row for two minutes (what libmdb
// prints is no progress: a damaged file can make it print the same warning for ever), and its
// memory is bounded to 1 GiB plus four times the source's size (libmdb reads page by page and
// SQLite writes through a small cache; what grows with the file is the longest memo or OLE
// value, which cannot be longer than the file, and its few copies while converted). Either ends
// in a message and no target.
//
// An existing target is replaced only with --replace, also one made while the conversion runs:
// the complete file takes its name by a rename that cannot replace. Every line is Spanish, and
// names from the file show their control characters escaped; libmdb's own warnings are English
// and for developers: they are not shown, what they mean is said where it matters.
#include "Converter.h"
#include "JetReader.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace importer;

// AddressSanitizer reserves far more address space than any bound allows: there, the bound is
// only watched from outside.
#if defined(__SANITIZE_ADDRESS__)
#define IMPORT_MDB_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define IMPORT_MDB_ASAN 1
#endif
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStall = std::chrono::seconds(120); // without a row read
constexpr long long kMemoryBase = 1LL << 30;       // plus four times the source's size

long long memoryBound(const QString& source) { return kMemoryBase + 4 * QFileInfo(source).size(); }

const char* const kUsage =
    "Uso: import_mdb [--replace] ORIGEN DESTINO\n"
    "\n"
    "Convierte la base de datos de Access ORIGEN (un archivo .mdb de Jet 3 o Jet 4, o un .accdb de\n"
    "ACE) en el archivo SQLite DESTINO, que el programa abre como su base de datos (llámelo\n"
    "veskgestion.mdb y póngalo junto al programa).\n"
    "\n"
    "Pasan todas las tablas del usuario con todas sus columnas y filas, sus claves principales y sus\n"
    "índices. Los formularios, consultas, macros y módulos de Access no son datos y no pasan.\n"
    "ORIGEN se abre sólo para leer y nunca se modifica. DESTINO se escribe con otro nombre en su\n"
    "misma carpeta y sólo toma su nombre cuando está completo.\n"
    "\n"
    "  --replace   sustituye DESTINO si ya existe (si no, se rechaza)\n"
    "  -h, --help  muestra esta ayuda\n"
    "\n"
    "Estado de salida: 0 si todo pasó; 1 si ORIGEN no se pudo leer o DESTINO no se pudo escribir;\n"
    "2 si los argumentos no son válidos; 3 si DESTINO ya existe; 130 si se interrumpió.\n";

std::atomic<bool> stopAsked{false};
extern "C" void onStop(int) { stopAsked = true; }

// What the reading process tells the command, one line each, through a pipe.
void tell(int fd, const QString& line) {
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    [[maybe_unused]] const ssize_t n = ::write(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString thousands(long long n) {
    QString s = QString::number(n);
    for (int i = static_cast<int>(s.size()) - 3; i > (n < 0 ? 1 : 0); i -= 3)
        s.insert(i, QLatin1Char('.'));
    return s;
}

// The progress of one table on a terminal: rows done of rows.
void showProgress(const JetTable& t, long long done) {
    if (!isatty(STDOUT_FILENO)) return;
    const long long total = std::max(t.rowCount, done);
    constexpr int kWidth = 30;
    const int filled = total ? static_cast<int>(kWidth * done / total) : kWidth;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char(' '));
    std::printf("\r  %-28.28s [%s] %s de %s", printable(t.name).toUtf8().constData(), bar.toUtf8().constData(),
                thousands(done).toUtf8().constData(), thousands(total).toUtf8().constData());
    std::fflush(stdout);
}

void printSummary(const Summary& s) {
    std::printf("\n%-30s %14s %14s  %s\n", "Tabla", "Filas leídas", "Filas escritas", "Índices");
    for (const TableSummary& t : s.tables) {
        std::printf("%-30s %14s %14s  %s\n", printable(t.name).toUtf8().constData(),
                    thousands(t.read).toUtf8().constData(), thousands(t.written).toUtf8().constData(),
                    t.indexes.isEmpty() ? "-" : printable(t.indexes.join(QStringLiteral(", "))).toUtf8().constData());
        if (!t.storedAs.isEmpty())
            std::printf("  aviso: pasa como '%s': SQLite reserva para sí los nombres que empiezan por sqlite_\n",
                        printable(t.storedAs).toUtf8().constData());
        if (t.read > t.counted)
            std::printf("  aviso: su definición cuenta %s filas y se leyeron %s: Access no cerró bien el archivo; "
                        "compruebe que las filas son las que deben\n",
                        thousands(t.counted).toUtf8().constData(), thousands(t.read).toUtf8().constData());
        if (t.inexact)
            std::printf("  aviso: %s valores de moneda o decimales tienen más cifras de las que guarda SQLite "
                        "(15): se guardaron redondeados\n",
                        thousands(t.inexact).toUtf8().constData());
    }
    for (const QString& m : s.missing)
        std::printf("Falta %s, que el programa necesita: añádalo antes de usar el programa con este archivo.\n",
                    printable(m).toUtf8().constData());
}

// The reading process: converts, prints progress and the summary, and tells the command how it ended.
[[noreturn]] void convertInChild(const QString& source, const QString& temporary, int status) {
#ifndef IMPORT_MDB_ASAN
    const rlim_t bound = static_cast<rlim_t>(memoryBound(source));
    const rlimit memory{bound, bound};
    setrlimit(RLIMIT_AS, &memory);
#endif
    try {
        const JetReader reader(source);
        std::printf("%s: %s\n", printable(source).toLocal8Bit().constData(), reader.version().toUtf8().constData());
        std::fflush(stdout);
        ConvertCallbacks cb;
        cb.stop = &stopAsked;
        cb.tableStarts = [&](const JetTable& t) {
            tell(status, QStringLiteral("T ") + printable(t.name));
            showProgress(t, 0);
        };
        cb.rowsDone = [&](const JetTable& t, long long done) {
            tell(status, QStringLiteral("P"));
            showProgress(t, done);
        };
        auto told = Clock::now();
        cb.working = [&] {
            if (Clock::now() - told < std::chrono::seconds(1)) return;
            told = Clock::now();
            tell(status, QStringLiteral("P"));
        };
        const Summary summary = convert(reader, temporary, cb);
        printSummary(summary);
        std::fflush(stdout);
        tell(status, QStringLiteral("OK"));
        std::_Exit(0);
    } catch (const Interrupted&) {
        std::fflush(stdout);
        std::_Exit(130);
    } catch (const std::bad_alloc&) {
        tell(status, QStringLiteral("M"));
    } catch (const DamagedFile& e) {
        tell(status, QStringLiteral("E ") + QString::fromUtf8(e.what()));
    } catch (const WriteFailed& e) {
        tell(status, QStringLiteral("W ") + QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        tell(status, QStringLiteral("E ") + QString::fromUtf8(e.what()));
    }
    std::fflush(stdout);
    std::_Exit(1);
}

bool syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

int fail(const QString& file, const QString& why, int code = 1) {
    std::fprintf(stderr, "import_mdb: %s: %s\n", printable(file).toLocal8Bit().constData(), why.toUtf8().constData());
    return code;
}

// The reading process's memory in use, in bytes (0 if unknown).
long long resident(pid_t pid) {
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

// Gives the complete file its name: with --replace over whatever is there, otherwise only where
// nothing is, a file made meanwhile kept as it is. 0, or why not (an errno).
int giveName(const QByteArray& from, const QByteArray& to, bool replace) {
    if (replace) return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    // A file system without that rename: a second name, refused where a file is, then the first gone.
    if (::link(from.constData(), to.constData()) != 0) return errno;
    ::unlink(from.constData());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    bool replace = false;
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == QLatin1String("--replace")) {
            replace = true;
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            std::fprintf(stderr, "import_mdb: opción desconocida: %s\n\n%s", argv[i], kUsage);
            return 2;
        } else {
            files << a;
        }
    }
    if (files.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString source = files[0], target = files[1];

    const QFileInfo from(source);
    if (!from.exists()) return fail(source, QStringLiteral("no existe"));
    if (!from.isFile()) return fail(source, QStringLiteral("no es un archivo"));
    if (!from.isReadable()) return fail(source, QStringLiteral("no tiene permiso para leerlo"));
    if (!JetReader::looksLikeAccess(source)) {
        QFile f(source);
        const bool sqlite = f.open(QIODevice::ReadOnly) && f.read(16) == QByteArray("SQLite format 3\0", 16);
        return fail(source, sqlite ? QStringLiteral("ya es una base de datos SQLite: el programa la abre tal cual")
                                   : QStringLiteral("no es una base de datos de Access (ni Jet ni ACE)"));
    }
    const QFileInfo to(target);
    if (to.exists() && from.canonicalFilePath() == to.canonicalFilePath())
        return fail(target, QStringLiteral("es el mismo archivo que el origen"));
    if (to.exists() && !replace) return fail(target, QStringLiteral("ya existe; use --replace para sustituirlo"), 3);
    if (to.exists() && to.isDir()) return fail(target, QStringLiteral("es una carpeta"));
    const QString folder = to.absolutePath();

    // The new file, under a name of its own in the target's folder until it is complete.
    QByteArray pattern = QFile::encodeName(folder + QStringLiteral("/.") + to.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return fail(target, QStringLiteral("no se puede escribir en su carpeta (%1)")
                                .arg(QString::fromLocal8Bit(std::strerror(errno))));
    // mkstemp makes it for this user alone; a database is the group's too, as the user's umask says.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    const QString temporary = QFile::decodeName(pattern);

    int status[2], errors[2];
    if (::pipe(status) != 0 || ::pipe(errors) != 0) {
        ::unlink(pattern.constData());
        return fail(target, QStringLiteral("no se puede crear el proceso de lectura"));
    }
    // Ctrl+C reaches both processes: the reading one stops at its next row, this one cleans up.
    struct sigaction stop {};
    stop.sa_handler = onStop;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(status[0]);
        ::close(errors[0]);
        ::dup2(errors[1], STDERR_FILENO); // what libmdb prints, for the command to judge
        convertInChild(source, temporary, status[1]);
    }
    ::close(status[1]);
    ::close(errors[1]);

    // Follow the reading: its last word, the table it is in, what libmdb said, and whether it
    // still makes progress and keeps to its memory (a damaged file can make libmdb go round for
    // ever, printing or growing).
    const long long bound = memoryBound(source);
    QString last, table, libmdb;
    QByteArray pending;
    enum class Stopped { No, Stalled, Memory } stopped = Stopped::No;
    bool outOfMemory = false;
    auto progressed = Clock::now();
    pollfd fds[2] = {{status[0], POLLIN, 0}, {errors[0], POLLIN, 0}};
    int open = 2;
    bool forwarded = false;
    while (open > 0) {
        const int n = ::poll(fds, 2, 250);
        if (stopAsked && !forwarded) { // Ctrl+C, or a signal sent to this process alone
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
                if (libmdb.size() > 4000) libmdb = libmdb.right(4000);
                continue;
            }
            pending.append(buf, static_cast<qsizetype>(got));
            for (qsizetype nl; (nl = pending.indexOf('\n')) >= 0; pending.remove(0, nl + 1)) {
                const QString line = QString::fromUtf8(pending.left(nl));
                if (line.startsWith(QLatin1String("T ")) || line == QLatin1String("P")) {
                    progressed = Clock::now();
                    if (line.startsWith(QLatin1String("T "))) table = line.mid(2);
                } else if (line == QLatin1String("M")) {
                    outOfMemory = true;
                } else {
                    last = line;
                }
            }
        }
        if (Clock::now() - progressed > kStall)
            stopped = Stopped::Stalled;
        else if (resident(child) > bound)
            stopped = Stopped::Memory;
        if (stopped != Stopped::No) {
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
        outOfMemory = true;
    const bool beyondEnd = libmdb.contains(QLatin1String("beyond EOF"));

    if (WIFEXITED(how) && WEXITSTATUS(how) == 0 && last == QLatin1String("OK") && !outOfMemory) {
        // Complete: on the disk first, then under its name, then the name on the disk too.
        const int done = ::open(pattern.constData(), O_RDONLY);
        const int synced = done >= 0 && ::fsync(done) == 0 ? 0 : errno;
        if (done >= 0) ::close(done);
        const int named = synced == 0 ? giveName(pattern, QFile::encodeName(target), replace) : synced;
        if (named != 0) {
            ::unlink(pattern.constData());
            if (named == EEXIST)
                return fail(target,
                            QStringLiteral("apareció mientras se convertía y no se ha tocado; use --replace para "
                                           "sustituirlo"),
                            3);
            return fail(target,
                        QStringLiteral("no se pudo guardar (%1)").arg(QString::fromLocal8Bit(std::strerror(named))));
        }
        syncFolder(folder);
        std::printf("Listo: %s\n", printable(target).toLocal8Bit().constData());
        return 0;
    }
    ::unlink(pattern.constData());
    if (isatty(STDOUT_FILENO)) std::printf("\n");
    if (stopAsked || (WIFEXITED(how) && WEXITSTATUS(how) == 130))
        return fail(source, QStringLiteral("interrumpido; no se creó %1").arg(printable(target)), 130);
    const QString inTable = table.isEmpty() ? QString() : QStringLiteral(" en la tabla '%1'").arg(table);
    if (stopped == Stopped::Memory || outOfMemory)
        return fail(source, QStringLiteral("está dañado: leerlo%1 pidió más de %2 MB de memoria, el límite para un "
                                           "archivo de su tamaño")
                                .arg(inTable)
                                .arg(bound >> 20));
    if (stopped == Stopped::Stalled)
        return fail(source, QStringLiteral("está dañado: la lectura%1 no avanzó en %2 segundos")
                                .arg(inTable)
                                .arg(std::chrono::duration_cast<std::chrono::seconds>(kStall).count()));
    if (last.startsWith(QLatin1String("W "))) return fail(target, QStringLiteral("no se pudo escribir ") + last.mid(2));
    if (last.startsWith(QLatin1String("E "))) return fail(source, last.mid(2));
    // The reading process died: libmdb met something it could not read.
    QString why = WIFSIGNALED(how) ? QStringLiteral("está dañado: la lectura se detuvo (señal %1)").arg(WTERMSIG(how))
                                   : QStringLiteral("está dañado: la lectura terminó sin acabar");
    why += inTable;
    if (beyondEnd) why += QStringLiteral("; está cortado: libmdb buscó datos más allá de su final");
    return fail(source, why);
}

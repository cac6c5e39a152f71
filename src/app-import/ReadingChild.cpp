// The reading process's own work: the conversion, its progress on the terminal and its summary
// on standard output, and how it went told to the command through the pipe.
#include "PipeProtocol.h"
#include "ReadingProcess.h"
#include "command/Command.h"
#include "command/Interrupt.h"
#include "command/Progress.h"
#include "import/Converter.h"
#include "import/JetReader.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <sys/resource.h>

// AddressSanitizer reserves far more address space than any bound allows: there, the bound is
// only watched from outside.
#if defined(__SANITIZE_ADDRESS__)
#define IMPORT_MDB_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define IMPORT_MDB_ASAN 1
#endif
#endif

namespace importer {

namespace {

using command::printable;
using command::thousands;

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

} // namespace

void convertInThisProcess(const QString& source, const QString& temporary, int status) {
#ifndef IMPORT_MDB_ASAN
    const auto bound = static_cast<rlim_t>(memoryBound(source));
    const rlimit memory{bound, bound};
    setrlimit(RLIMIT_AS, &memory);
#endif
    try {
        const JetReader reader(source);
        std::printf("%s: %s\n", printable(source).toLocal8Bit().constData(), reader.version().toUtf8().constData());
        std::fflush(stdout);
        ConvertCallbacks cb;
        cb.stop = &command::interruptFlag();
        cb.tableStarts = [&](const JetTable& t) {
            pipe::tell(status, pipe::kTableStarts, printable(t.name));
            command::showProgress(t.name, 0, t.rowCount);
        };
        cb.rowsDone = [&](const JetTable& t, long long done) {
            pipe::tell(status, pipe::kProgress);
            command::showProgress(t.name, done, t.rowCount);
        };
        using Clock = std::chrono::steady_clock;
        auto told = Clock::now();
        cb.working = [&] {
            if (Clock::now() - told < std::chrono::seconds(1)) return;
            told = Clock::now();
            pipe::tell(status, pipe::kProgress);
        };
        const Summary summary = convert(reader, temporary, cb);
        printSummary(summary);
        std::fflush(stdout);
        pipe::tell(status, pipe::kComplete);
        std::_Exit(command::kDone);
    } catch (const Interrupted&) {
        std::fflush(stdout);
        std::_Exit(command::kInterrupted);
    } catch (const std::bad_alloc&) {
        pipe::tell(status, pipe::kOutOfMemory);
    } catch (const DamagedFile& e) {
        pipe::tell(status, pipe::kUnreadable, QString::fromUtf8(e.what()));
    } catch (const WriteFailed& e) {
        pipe::tell(status, pipe::kUnwritable, QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        pipe::tell(status, pipe::kUnreadable, QString::fromUtf8(e.what()));
    }
    std::fflush(stdout);
    std::_Exit(command::kFailed);
}

} // namespace importer

// Brings a shop's Access database (Jet 3, Jet 4 or ACE) over to the SQLite file the program opens:
//
//   actualizapvp-import [--replace] ORIGEN DESTINO
//
// The source is read through libmdb and never written. The target is made under a temporary name
// and takes its name only once complete (TargetFile.h); the reading runs in a process of its own,
// bounded in time and memory (ReadingProcess.h). Every line is Spanish, and names from the file
// show their control characters escaped; libmdb's own warnings are English and for developers:
// they are not shown, what they mean is said where it matters.
#include "ReadingProcess.h"
#include "TargetFile.h"
#include "command/Command.h"
#include "command/Interrupt.h"
#include "command/Progress.h"
#include "import/JetReader.h"
#include "schema/FileKind.h"

#include <QFileInfo>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace importer;
using command::fail;

namespace {

constexpr int kTargetExists = 3;

const char* const kUsage =
    "Uso: actualizapvp-import [--replace] ORIGEN DESTINO\n"
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

struct Request {
    QString source, target;
    bool replace = false;
};

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The files as given: the source an Access database this user may read, the target not the source
// and, without --replace, not there yet. 0, or the exit status of the refusal.
int refused(const Request& r) {
    const QFileInfo from(r.source);
    if (!from.exists()) return fail(r.source, QStringLiteral("no existe"));
    if (!from.isFile()) return fail(r.source, QStringLiteral("no es un archivo"));
    if (!from.isReadable()) return fail(r.source, QStringLiteral("no tiene permiso para leerlo"));
    if (!JetReader::looksLikeAccess(r.source))
        return fail(r.source, schema::fileKind(r.source) == schema::FileKind::Sqlite
                                  ? QStringLiteral("ya es una base de datos SQLite: el programa la abre tal cual")
                                  : QStringLiteral("no es una base de datos de Access (ni Jet ni ACE)"));
    const QFileInfo to(r.target);
    if (to.exists() && from.canonicalFilePath() == to.canonicalFilePath())
        return fail(r.target, QStringLiteral("es el mismo archivo que el origen"));
    if (to.exists() && !r.replace)
        return fail(r.target, QStringLiteral("ya existe; use --replace para sustituirlo"), kTargetExists);
    if (to.exists() && to.isDir()) return fail(r.target, QStringLiteral("es una carpeta"));
    return 0;
}

// The complete conversion under the target's name.
int published(const Request& r, const QString& temporary) {
    const int error = publish(temporary, r.target, r.replace);
    if (error == EEXIST)
        return fail(r.target,
                    QStringLiteral("apareció mientras se convertía y no se ha tocado; use --replace para sustituirlo"),
                    kTargetExists);
    if (error != 0) return fail(r.target, QStringLiteral("no se pudo guardar (%1)").arg(systemError(error)));
    std::printf("Listo: %s\n", command::printable(r.target).toLocal8Bit().constData());
    return command::kDone;
}

// Why there is no target, most telling reason first.
int explained(const Request& r, const ReadingEnd& end) {
    if (end.interrupted)
        return fail(r.source, QStringLiteral("interrumpido; no se creó %1").arg(command::printable(r.target)),
                    command::kInterrupted);
    const QString inTable = end.table.isEmpty() ? QString() : QStringLiteral(" en la tabla '%1'").arg(end.table);
    if (end.overMemory)
        return fail(r.source, QStringLiteral("está dañado: leerlo%1 pidió más de %2 MB de memoria, el límite para un "
                                             "archivo de su tamaño")
                                  .arg(inTable)
                                  .arg(memoryBound(r.source) >> 20));
    if (end.stalled)
        return fail(r.source, QStringLiteral("está dañado: la lectura%1 no avanzó en %2 segundos")
                                  .arg(inTable)
                                  .arg(std::chrono::duration_cast<std::chrono::seconds>(kStall).count()));
    if (!end.unwritable.isEmpty()) return fail(r.target, QStringLiteral("no se pudo escribir ") + end.unwritable);
    if (!end.unreadable.isEmpty()) return fail(r.source, end.unreadable);
    // The reading process died: libmdb met something it could not read.
    QString why = end.signal ? QStringLiteral("está dañado: la lectura se detuvo (señal %1)").arg(end.signal)
                             : QStringLiteral("está dañado: la lectura terminó sin acabar");
    why += inTable;
    if (end.beyondEnd) why += QStringLiteral("; está cortado: libmdb buscó datos más allá de su final");
    return fail(r.source, why);
}

} // namespace

int main(int argc, char** argv) {
    command::setProgram("actualizapvp-import", kUsage);
    const command::Arguments arguments = command::readArguments(argc, argv, {QStringLiteral("--replace")});
    if (arguments.help) return command::showHelp();
    if (!arguments.unknown.isEmpty())
        return command::badArguments(QStringLiteral("opción desconocida: ") + arguments.unknown);
    if (arguments.operands.size() != 2) return command::badArguments();
    const Request request{arguments.operands[0], arguments.operands[1], arguments.has(QStringLiteral("--replace"))};
    if (const int refusal = refused(request)) return refusal;

    const Temporary temporary = makeTemporary(request.target);
    if (temporary.error)
        return fail(request.target,
                    QStringLiteral("no se puede escribir en su carpeta (%1)").arg(systemError(temporary.error)));
    // Ctrl+C reaches both processes: the reading one stops at its next row, this one cleans up.
    command::listenForInterrupt();
    const ReadingEnd end = readInOwnProcess(request.source, temporary.path);
    if (!end.started) {
        discard(temporary.path);
        return fail(request.target, QStringLiteral("no se puede crear el proceso de lectura"));
    }
    if (end.complete) return published(request, temporary.path);
    discard(temporary.path);
    command::endProgressLine();
    return explained(request, end);
}

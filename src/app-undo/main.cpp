// Puts back the prices that an update run replaced, from the history the program keeps in the
// database file (history/PriceHistory.h):
//
//   actualizapvp-deshacer BASE                 the runs kept
//   actualizapvp-deshacer BASE NÚMERO          puts run NÚMERO's replaced prices back
//   actualizapvp-deshacer --csv BASE NÚMERO    run NÚMERO's changes as CSV, on standard output
//
// The database is opened as the program opens it (ado::Connection). An undo is one transaction:
// Ctrl+C, a failure or a locked file leave the file as it was.
#include "command/Command.h"
#include "command/Interrupt.h"
#include "command/Progress.h"
#include "history/PriceHistory.h"
#include "history/Undo.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Errors.h"
#include "platform/ado/Statement.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"
#include "platform/runtime/OperatorWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <cstdio>

using command::fail;

namespace {

constexpr int kLeftSomeAlone = 3;
constexpr int kLockWaitSeconds = 30;
constexpr qint64 kLockWaitMs = qint64(kLockWaitSeconds) * 1000;

const char* const kUsage =
    "Uso: actualizapvp-deshacer BASE\n"
    "     actualizapvp-deshacer BASE NÚMERO\n"
    "     actualizapvp-deshacer --csv BASE NÚMERO\n"
    "\n"
    "Cada actualización de costes y precios guarda en la base de datos BASE los precios que\n"
    "sustituye (se guardan las 20 últimas). Con sólo BASE, lista las actualizaciones guardadas, una\n"
    "por línea, empezando por su número.\n"
    "\n"
    "Con NÚMERO, vuelve a poner los precios que esa actualización sustituyó, todo o nada, pero sólo\n"
    "en los artículos que siguen teniendo exactamente lo que ella escribió. Un artículo cambiado\n"
    "después (a mano o por otro programa) o borrado se deja como está y se nombra con el motivo.\n"
    "Se deshacen de la más reciente a la más antigua: mientras una posterior siga en vigor, no se\n"
    "deshace una anterior.\n"
    "\n"
    "  --csv       escribe los cambios de la actualización NÚMERO (código, nombre, coste y precios\n"
    "              antes y después) en la salida estándar, separados por ';' y con coma decimal\n"
    "  -h, --help  muestra esta ayuda\n"
    "\n"
    "Estado de salida: 0 si todo se hizo; 1 si la base de datos no se pudo leer o escribir, no\n"
    "guarda historia, la actualización no existe o ya se deshizo, o sigue en vigor una posterior; 2\n"
    "si los argumentos no son válidos; 3 si se deshizo pero algún artículo se dejó como estaba; 130\n"
    "si se interrumpió.\n";

// Ctrl+C heard where nothing was changed yet.
struct Interrupted {};

QString oneLine(QString text) { return text.replace(QLatin1String("\r\n"), QLatin1String(" ")); }

void print(const QString& line) { std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout); }

void exec(ado::Connection& cn, const char* sql) {
    const auto st = cn.statement(QString::fromLatin1(sql));
    st->step();
    st->reset();
}

// A transaction (BEGIN for reading, BEGIN IMMEDIATE for writing) and its first read, waited for a
// while when another program holds the file (it may be saving); then its failure. While it waits,
// Ctrl+C ends the wait.
void beginPatiently(ado::Connection& cn, const QString& path, const char* begin) {
    QElapsedTimer waited;
    waited.start();
    for (bool first = true;; first = false) {
        try {
            exec(cn, begin); // each try waits ado::Connection::kBusyMs itself
            exec(cn, "SELECT count(*) FROM sqlite_schema");
            return;
        } catch (const runtime::Failure& f) {
            try {
                exec(cn, "ROLLBACK");
            } catch (const runtime::Failure&) {
                // No transaction was open.
            }
            if (command::interrupted()) throw Interrupted();
            if (f.Number() != ado::err::Generic || waited.elapsed() >= kLockWaitMs) throw;
            if (first)
                std::fprintf(stderr, "%s: %s: la usa otro programa; se espera hasta %d segundos...\n",
                             command::programName(), command::printable(path).toLocal8Bit().constData(),
                             kLockWaitSeconds);
            QThread::sleep(1);
        }
    }
}

// A field as a Spanish spreadsheet reads it: numbers with a decimal comma; a text that the
// spreadsheet would take for a formula (=, +, -, @ first) behind an apostrophe, as it shows a text
// typed so; quoted where it holds the separator, a quote or a line break.
QString csvField(const runtime::FieldValue& v) {
    if (v.isNull() || v.isEmpty()) return {};
    if (v.kind() == runtime::FieldValue::Kind::Number)
        return QString::number(v.number(), 'g', 15).replace(QLatin1Char('.'), QLatin1Char(','));
    QString text = runtime::textOf(v);
    if (!text.isEmpty() && QStringLiteral("=+-@").contains(text.front())) text.prepend(QLatin1Char('\''));
    if (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n')) ||
        text.contains(QLatin1Char('\r')))
        text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    return text;
}

int list(ado::Connection& cn, const QString& path) {
    const std::vector<history::RunInfo> runs = history::runs(cn);
    if (runs.empty()) {
        print(QStringLiteral("%1 no guarda ninguna actualización.").arg(command::shownName(path)));
        return command::kDone;
    }
    for (const history::RunInfo& r : runs)
        print(QStringLiteral("%1  %2  %3  %4 artículos escritos, %5 con precios cambiados%6")
                  .arg(r.number)
                  .arg(command::printable(r.moment), command::printable(r.user), command::thousands(r.articles),
                       command::thousands(r.changed),
                       r.undone.isEmpty() ? QString() : QStringLiteral("  (deshecha el %1)").arg(r.undone)));
    return command::kDone;
}

int csv(ado::Connection& cn, long long number) {
    print(QStringLiteral("codigo;nombre;coste_antes;coste_despues;ultimo_coste_antes;ultimo_coste_despues;"
                         "pvp1_antes;pvp1_despues;pvp2_antes;pvp2_despues;pvp3_antes;pvp3_despues"));
    history::forEachChange(cn, number, [](const history::Change& c) {
        if (command::interrupted()) throw Interrupted();
        QStringList fields{csvField(runtime::FieldValue(c.code)), csvField(runtime::FieldValue(c.name))};
        for (int i = 0; i < 5; ++i)
            fields << csvField(c.oldValues[i]) << csvField(c.newValues[i]);
        print(fields.join(QLatin1Char(';')));
    });
    return command::kDone;
}

int undo(ado::Connection& cn, const QString& path, long long number) {
    if (cn.readOnly())
        return fail(path,
                    QStringLiteral("no se puede modificar: ") +
                        (cn.readOnlyReason().isEmpty() ? QStringLiteral("es de sólo lectura") : cn.readOnlyReason()));
    beginPatiently(cn, path, "BEGIN IMMEDIATE");
    try {
        const std::optional<history::RunInfo> run = history::run(cn, number);
        if (!run) {
            exec(cn, "ROLLBACK");
            return fail(path, QStringLiteral("no guarda la actualización %1").arg(number));
        }
        if (!run->undone.isEmpty()) {
            exec(cn, "ROLLBACK");
            return fail(path, QStringLiteral("la actualización %1 ya se deshizo el %2")
                                  .arg(number)
                                  .arg(command::printable(run->undone)));
        }
        const bool drawing = command::onTerminal();
        const history::UndoResult result = history::undo(
            cn, number,
            [drawing](long long done, long long total) {
                if (drawing && (done % 1000 == 0 || done == total))
                    command::showProgress(QStringLiteral("Deshaciendo"), done, total);
            },
            [] { return command::interrupted(); });
        if (drawing) command::endProgressLine();
        if (result.laterRun) {
            exec(cn, "ROLLBACK");
            return fail(path, QStringLiteral("la actualización %1, posterior, sigue en vigor y escribió sus propios "
                                             "precios: deshágala antes (se deshacen de la más reciente a la más "
                                             "antigua)")
                                  .arg(result.laterRun));
        }
        if (result.interrupted) {
            exec(cn, "ROLLBACK");
            return fail(path, QStringLiteral("interrumpido; la base de datos queda como estaba"),
                        command::kInterrupted);
        }
        exec(cn, "COMMIT");
        print(QStringLiteral("Actualización %1 del %2 deshecha: %3 artículos vuelven a los precios de antes.")
                  .arg(number)
                  .arg(command::printable(run->moment), command::thousands(result.restored)));
        if (result.leftAlone.empty()) return command::kDone;
        print(QStringLiteral("Se dejaron como estaban %1 artículos:")
                  .arg(command::thousands(static_cast<long long>(result.leftAlone.size()))));
        for (const history::LeftAlone& a : result.leftAlone)
            print(QStringLiteral("  %1: %2").arg(command::shownName(a.code), a.why));
        return kLeftSomeAlone;
    } catch (...) {
        command::endProgressLine();
        try {
            exec(cn, "ROLLBACK");
        } catch (const runtime::Failure&) {
            // The engine rolled it back itself.
        }
        throw;
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the connection's timers
    command::setProgram("actualizapvp-deshacer", kUsage);
    const command::Arguments arguments = command::readArguments(argc, argv, {QStringLiteral("--csv")});
    if (arguments.help) return command::showHelp();
    if (!arguments.unknown.isEmpty())
        return command::badArguments(QStringLiteral("opción desconocida: ") + arguments.unknown);
    const bool asCsv = arguments.has(QStringLiteral("--csv"));
    const QStringList& operands = arguments.operands;
    if (operands.isEmpty() || operands.size() > 2 || (asCsv && operands.size() != 2)) return command::badArguments();
    long long number = 0;
    if (operands.size() == 2) {
        bool ok = false;
        number = operands[1].toLongLong(&ok);
        if (!ok || number < 1)
            return command::badArguments(QStringLiteral("número de actualización no válido: ") +
                                         command::shownName(operands[1]));
    }
    const QString path = QFileInfo(operands[0]).absoluteFilePath();
    // What the connection has to tell (a file on a network drive, say) goes to standard error.
    runtime::setOperatorTeller([](const QString& message) {
        std::fprintf(stderr, "%s: %s\n", command::programName(), oneLine(message).toLocal8Bit().constData());
    });
    command::listenForInterrupt();
    try {
        ado::Connection cn;
        cn.Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path);
        for (const QString& message : runtime::takeMessagesForOperator())
            std::fprintf(stderr, "%s: %s\n", command::programName(), oneLine(message).toLocal8Bit().constData());
        // What is read is read in one transaction: one state of the file.
        beginPatiently(cn, path, "BEGIN");
        if (!history::hasHistory(cn))
            return fail(path, QStringLiteral("no guarda historia de precios: ninguna actualización la ha escrito "
                                             "todavía"));
        if (operands.size() == 1) return list(cn, path);
        if (asCsv) {
            if (!history::run(cn, number))
                return fail(path, QStringLiteral("no guarda la actualización %1").arg(number));
            return csv(cn, number);
        }
        exec(cn, "ROLLBACK");
        return undo(cn, path, number);
    } catch (const runtime::Failure& f) {
        return fail(path, oneLine(f.Description()));
    } catch (const Interrupted&) {
        command::endProgressLine();
        return fail(path, QStringLiteral("interrumpido; la base de datos queda como estaba"), command::kInterrupted);
    }
}

#include "platform/ado/writes/WriteReport.h"
#include "platform/ado/Errors.h"
#include "platform/runtime/OperatorWait.h"

#include <QStringList>

namespace ado {

void WriteReport::written(std::size_t rows) {
    written_ += rows;
    writtenUntold_ += rows;
}

void WriteReport::leftOut(std::size_t rows) { leftOutUntold_ += rows; }

void WriteReport::refused(int table, long long rowid, const QString& row, const QString& reason) {
    refusals_.push_back({table, rowid, row, reason});
}

void WriteReport::raiseIfRefused(int table, long long rowid) {
    for (Refusal& r : refusals_)
        if (!r.told && r.table == table && r.rowid == rowid) {
            r.told = true;
            runtime::raise(err::Integrity,
                           QStringLiteral("La base de datos rechazó el cambio de %1 (%2).").arg(r.row, r.reason));
        }
}

void WriteReport::tellOperator() {
    if (leftOutUntold_)
        runtime::tellOperator(
            QStringLiteral("Se guardaron en la base de datos los cambios de %1 registros, pero no los "
                           "de otros %2: otro programa los modificó o los borró después de que este "
                           "programa los leyera.")
                .arg(writtenUntold_)
                .arg(leftOutUntold_));
    writtenUntold_ = leftOutUntold_ = 0;

    QStringList named;
    int untold = 0;
    for (Refusal& r : refusals_) {
        if (r.told) continue;
        r.told = true;
        if (++untold <= kNamedRefusals) named << r.row + QStringLiteral(": ") + r.reason;
    }
    if (!untold) return;
    QString text = untold == 1 ? QStringLiteral("La base de datos rechazó el cambio de un registro, que no se guardó:")
                               : QStringLiteral("La base de datos rechazó los cambios de %1 registros, que no se "
                                                "guardaron:")
                                     .arg(untold);
    text += QStringLiteral("\r\n") + named.join(QStringLiteral("\r\n"));
    if (untold > kNamedRefusals) text += QStringLiteral("\r\n… y otros %1.").arg(untold - kNamedRefusals);
    runtime::tellOperator(text);
}

void WriteReport::raiseNotSaved(const runtime::Failure& f, std::size_t pendingRows) {
    runtime::raise(f.Number(),
                   QStringLiteral("No se pudieron guardar en la base de datos los cambios de %1 registros. %2")
                       .arg(pendingRows)
                       .arg(f.Description()));
}

runtime::Failure WriteReport::withAdvice(const runtime::Failure& f, bool programEnds) {
    QString s = QStringLiteral("\r\n\r\n");
    if (f.Number() == err::Generic)
        s += QStringLiteral("Cierre la base de datos en los demás programas y pulse 'Reintentar'.\r\n");
    else if (f.Number() == err::DiskFull)
        s += QStringLiteral("Libere espacio en el disco y pulse 'Reintentar'.\r\n");
    else
        s += QStringLiteral("Pulse 'Reintentar' cuando se haya resuelto.\r\n");
    s += programEnds ? QStringLiteral("Si pulsa 'Cancelar', el programa termina y esos cambios se pierden.")
                     : QStringLiteral("Con 'Cancelar', los cambios esperan en este programa, sin bloquear la "
                                      "base de datos, y se vuelven a guardar más adelante.");
    return runtime::Failure(f.Number(), f.Description() + s);
}

} // namespace ado

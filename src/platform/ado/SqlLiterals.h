#pragma once
// Replaces each text literal of an SQL text by a parameter, so that queries that differ only in
// their literals share one prepared statement and one parse of their shape.
#include <QString>
#include <QVector>

namespace ado {

struct ParameterizedSql {
    QString sql;
    QVector<QString> literals;
    static ParameterizedSql from(const QString& sql);
};

} // namespace ado

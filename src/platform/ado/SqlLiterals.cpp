#include "platform/ado/SqlLiterals.h"

namespace ado {

ParameterizedSql ParameterizedSql::from(const QString& sql) {
    ParameterizedSql r;
    r.sql.reserve(sql.size());
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('[')) { // quoted identifiers are copied as they are
            const QChar closing = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            const qsizetype end = sql.indexOf(closing, i + 1);
            if (end < 0) return {sql, {}};
            r.sql += QStringView(sql).mid(i, end - i + 1);
            i = end;
            continue;
        }
        if (c != QLatin1Char('\'')) {
            r.sql += c;
            continue;
        }
        QString literal;
        qsizetype j = i + 1;
        for (;; ++j) {
            if (j >= n) return {sql, {}}; // unterminated: the engine reports it on the text as written
            if (sql[j] == QLatin1Char('\'')) {
                if (j + 1 < n && sql[j + 1] == QLatin1Char('\'')) {
                    literal += QLatin1Char('\'');
                    ++j;
                    continue;
                }
                break;
            }
            literal += sql[j];
        }
        r.literals.push_back(literal);
        r.sql += QLatin1Char('?');
        // 'A1'ORDER reads as a literal followed by a keyword; the parameter needs a blank there.
        if (j + 1 < n && (sql[j + 1].isLetterOrNumber() || sql[j + 1] == QLatin1Char('_'))) r.sql += QLatin1Char(' ');
        i = j;
    }
    return r;
}

} // namespace ado

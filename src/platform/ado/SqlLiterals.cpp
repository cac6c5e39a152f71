#include "platform/ado/SqlLiterals.h"

namespace ado {

ParameterizedSql ParameterizedSql::from(const QString& sql) {
    ParameterizedSql r;
    r.sql.reserve(sql.size());
    const QStringView text(sql);
    const qsizetype n = text.size();
    qsizetype copied = 0; // text before this is in r.sql already
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('[')) { // quoted identifiers are copied as they are
            const QChar closing = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            const qsizetype end = text.indexOf(closing, i + 1);
            if (end < 0) return {sql, {}};
            i = end;
            continue;
        }
        if (c != QLatin1Char('\'')) continue;
        QString literal;
        qsizetype j = i + 1, from = j;
        for (;; ++j) {
            if (j >= n) return {sql, {}}; // unterminated: the engine reports it on the text as written
            if (text[j] == QLatin1Char('\'')) {
                literal += text.mid(from, j - from);
                if (j + 1 < n && text[j + 1] == QLatin1Char('\'')) {
                    literal += QLatin1Char('\'');
                    from = ++j + 1;
                    continue;
                }
                break;
            }
        }
        r.literals.push_back(literal);
        r.sql += text.mid(copied, i - copied);
        r.sql += QLatin1Char('?');
        // 'A1'ORDER reads as a literal followed by a keyword; the parameter needs a blank there.
        if (j + 1 < n && (text[j + 1].isLetterOrNumber() || text[j + 1] == QLatin1Char('_'))) r.sql += QLatin1Char(' ');
        i = j;
        copied = j + 1;
    }
    r.sql += text.mid(copied);
    return r;
}

} // namespace ado

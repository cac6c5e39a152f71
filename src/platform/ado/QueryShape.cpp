#include "platform/ado/QueryShape.h"

#include <QRegularExpression>

namespace ado {

QueryShape QueryShape::of(const QString& sql) {
    static const QRegularExpression selectAll(
        QStringLiteral("^\\s*SELECT\\s+\\*\\s+FROM\\s+(?:\\[([^\\]]+)\\]|\"([^\"]+)\"|(\\w+))(.*)$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    // Only a WHERE and an ORDER BY may follow; joins and groups are not one table's rows.
    static const QRegularExpression rest(QStringLiteral("^\\s*(;\\s*)?$|^\\s*(WHERE|ORDER)\\b"),
                                         QRegularExpression::CaseInsensitiveOption);
    QueryShape s;
    const auto m = selectAll.match(sql);
    if (!m.hasMatch() || !rest.match(m.captured(4)).hasMatch()) return s;
    s.keyset = true;
    s.table = m.captured(1) + m.captured(2) + m.captured(3);
    s.keysSql = QStringLiteral("SELECT rowid FROM ") + quoted(s.table) + m.captured(4);
    s.rowSql = QStringLiteral("SELECT * FROM ") + quoted(s.table) + QStringLiteral(" WHERE rowid=?");
    // ORDER BY a [ASC|DESC], b ...: the cursor's key, which names its rows to the operator.
    static const QRegularExpression orderBy(QStringLiteral("\\bORDER\\s+BY\\s+(.*?)\\s*;?\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression item(
        QStringLiteral("^\\s*(?:\\[([^\\]]+)\\]|\"([^\"]+)\"|(\\w+))(?:\\s+(?:ASC|DESC))?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    if (const auto o = orderBy.match(m.captured(4)); o.hasMatch())
        for (const QString& part : o.captured(1).split(QLatin1Char(','))) {
            const auto i = item.match(part);
            if (!i.hasMatch()) {
                s.orderColumns.clear();
                break;
            }
            s.orderColumns << i.captured(1) + i.captured(2) + i.captured(3);
        }
    return s;
}

} // namespace ado

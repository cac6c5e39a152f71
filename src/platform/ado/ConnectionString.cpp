#include "platform/ado/ConnectionString.h"

#include <QStringList>

namespace ado {

namespace {

// Whether a ";" followed by REST ends a pair: REST is blank (the string's last ";") or starts with
// one of the keywords a Jet connection string may carry (those after "Jet OLEDB:" are many).
bool endsAPair(QStringView rest) {
    rest = rest.trimmed();
    if (rest.isEmpty()) return true;
    static const QStringList keywords = {QStringLiteral("provider"),
                                         QStringLiteral("data source"),
                                         QStringLiteral("jet oledb:"),
                                         QStringLiteral("user id"),
                                         QStringLiteral("password"),
                                         QStringLiteral("mode"),
                                         QStringLiteral("persist security info"),
                                         QStringLiteral("extended properties")};
    for (const QString& k : keywords) {
        if (!rest.startsWith(k, Qt::CaseInsensitive)) continue;
        if (k.endsWith(QLatin1Char(':'))) { // "Jet OLEDB:<name>=", the name without a ";"
            const auto equals = rest.indexOf(QLatin1Char('='));
            const auto semicolon = rest.indexOf(QLatin1Char(';'));
            return equals > k.size() && (semicolon < 0 || equals < semicolon);
        }
        const QStringView after = rest.mid(k.size()).trimmed();
        if (after.startsWith(QLatin1Char('='))) return true;
    }
    return false;
}

} // namespace

ConnectionStringParts parseConnectionString(const QString& connectionString) {
    // Pairs, split only where a ";" ends one.
    QStringList pairs;
    QString current;
    for (qsizetype i = 0; i < connectionString.size(); ++i) {
        const QChar c = connectionString[i];
        if (c == QLatin1Char(';') && endsAPair(QStringView(connectionString).mid(i + 1))) {
            pairs << current;
            current.clear();
        } else {
            current += c;
        }
    }
    pairs << current;

    ConnectionStringParts p;
    for (const QString& piece : pairs) {
        const auto equals = piece.indexOf(QLatin1Char('='));
        if (equals < 0) continue;
        const QString key = piece.left(equals).trimmed().toLower();
        const QString value = piece.mid(equals + 1).trimmed();
        if (key == QLatin1String("provider"))
            p.provider = value;
        else if (key == QLatin1String("data source"))
            p.dataSource = value;
        else if (key == QLatin1String("jet oledb:database password"))
            p.password = value;
    }
    return p;
}

} // namespace ado

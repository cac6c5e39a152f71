// The database stand-in's literal parser: any SQL text is handled without a crash, and a text
// made of a template and quoted literals gives back exactly those literals, in order.
#include "platform/ado/SqlLiterals.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ado::ParameterizedSql::from(input);

    // Pieces separated by NUL: template, literal, template, literal...
    const QStringList pieces = input.split(QChar(0));
    QString sql;
    QVector<QString> literals;
    for (int i = 0; i < pieces.size(); ++i) {
        if (i % 2 == 0) {
            QString t = pieces[i];
            for (const char c : {'\'', '"', '[', '?'})
                t.remove(QLatin1Char(c));
            // Two literals side by side are one literal with a quote in it: SQL needs something between.
            if (t.isEmpty() && i > 0 && i + 1 < pieces.size()) t = QStringLiteral(" ");
            sql += t;
        } else {
            literals << pieces[i];
            sql += QLatin1Char('\'') + QString(pieces[i]).replace(QLatin1Char('\''), QStringLiteral("''")) +
                   QLatin1Char('\'');
        }
    }
    const ado::ParameterizedSql p = ado::ParameterizedSql::from(sql);
    if (p.literals != literals || p.sql.count(QLatin1Char('?')) != literals.size()) {
        std::fprintf(stderr, "FINDING: %lld literals read from [%s], %lld written\n",
                     static_cast<long long>(p.literals.size()), qPrintable(sql),
                     static_cast<long long>(literals.size()));
        std::abort();
    }
    return 0;
}

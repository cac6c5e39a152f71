// The connection string: whatever the folder, file and password it is made of, the provider
// reads the same back (values are trimmed; a ";" that is followed by a provider keyword is the
// one thing a folder cannot hold).
#include "database/DatabaseAccess.h"
#include "platform/ado/ConnectionString.h"

#include <QRegularExpression>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ado::parseConnectionString(input); // any text at all: no crash, no hang

    const QStringList pieces = input.split(QChar(0));
    if (pieces.size() != 3) return 0;
    const QString &folder = pieces[0], &file = pieces[1], &password = pieces[2];
    static const QRegularExpression keywordAfterSemicolon(
        QStringLiteral(";\\s*(provider|data source|jet oledb:[^;]*|user id|password|mode|persist security info|"
                       "extended properties)\\s*="),
        QRegularExpression::CaseInsensitiveOption);
    for (const QString& value : {folder + QLatin1Char('\\') + file, password})
        if (keywordAfterSemicolon.match(value).hasMatch()) return 0;
    if (QRegularExpression(QStringLiteral(";\\s*$")).match(folder + QLatin1Char('\\') + file).hasMatch()) return 0;

    const auto parts = ado::parseConnectionString(database::CadenaConexion(folder, file, password));
    const QString source = (folder + QLatin1Char('\\') + file).trimmed();
    if (parts.dataSource != source || parts.password != password.trimmed()) {
        std::fprintf(stderr, "FINDING: read back [%s] [%s], made of [%s] [%s]\n", qPrintable(parts.dataSource),
                     qPrintable(parts.password), qPrintable(source), qPrintable(password.trimmed()));
        std::abort();
    }
    return 0;
}

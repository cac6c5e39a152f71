// The converter of Access databases: each Jet type's mapping, a real Jet file converted and
// compared with libmdb's own reading of it, sources it must refuse, the source never written,
// no half-made target under any circumstances, and the program's run on a converted file.
#include "BoxAnswerer.h"
#include "GrowJet.h"
#include "TestDatabase.h"
#include "forms/main/frmPrecioCoste.h"
#include "import/Converter.h"
#include "import/JetValues.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstring>
#include <mdbtools.h>
#include <sqlite3.h>

using namespace testing;
using forms::frmPrecioCoste;

namespace {

const QString kJetFile = QStringLiteral(ZUK_JET_TEST_FILE);

// A file with those bytes at that path; the path.
QString written(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) qFatal("cannot write %s", qPrintable(path));
    return path;
}

struct Run {
    int code = -1;
    QString out, err;
};

Run importMdb(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral(ZUK_IMPORT_MDB), arguments);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return {-1, QString::fromUtf8(p.readAllStandardOutput()),
                QStringLiteral("did not finish within 120 s; its errors: ") +
                    QString::fromUtf8(p.readAllStandardError())};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The converter run on a source of those bytes in the folder, into a target beside it.
struct Conversion {
    QString source, target;
    Run run;
};
Conversion convertBytes(const QTemporaryDir& dir, const QByteArray& file) {
    Conversion c{
        written(dir.filePath(QStringLiteral("origen.mdb")), file), dir.filePath(QStringLiteral("destino.mdb")), {}};
    c.run = importMdb({c.source, c.target});
    return c;
}

QByteArray digest(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

// Rows of an SQLite file, each value as text ("NULL" for none), in the table's order.
QList<QStringList> rowsOf(const QString& path, const QString& query) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    QList<QStringList> rows;
    if (sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList row;
            for (int i = 0; i < sqlite3_column_count(st); ++i)
                row << (sqlite3_column_type(st, i) == SQLITE_NULL
                            ? QStringLiteral("NULL")
                            : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i))));
            rows << row;
        }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

QByteArray bytes(std::initializer_list<int> list) {
    QByteArray b;
    for (int v : list)
        b.append(static_cast<char>(v));
    return b;
}

// Where things lie in the real Jet file (Jet 4, pages of 4096 bytes).
constexpr qsizetype kPage = 4096;
constexpr qsizetype kCatalogRows = 2 * kPage + 16;     // the catalog's definition: its count of rows, 25
constexpr qsizetype kDateTestRows = 18 * kPage + 16;   // DateTest's definition: its count of rows, 6
constexpr qsizetype kDateTestName = 17 * kPage + 2705; // "DateTest" in the catalog, UTF-16
constexpr qsizetype kDateColName = 18 * kPage + 251;   // the column name "DateCol" in DateTest's definition
constexpr qsizetype kFirstMemo = 20 * kPage + 4061;    // the first row's memo, kept in the row ("Hello")

QByteArray realJetFile() {
    QFile f(kJetFile);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The real file with `with` written at `at`.
QByteArray patched(qsizetype at, const QByteArray& with, QByteArray jet = realJetFile()) {
    return jet.replace(at, with.size(), with);
}

QByteArray utf16(const QString& s) {
    QByteArray b;
    for (const QChar c : s)
        b.append(static_cast<char>(c.unicode() & 0xff)).append(static_cast<char>(c.unicode() >> 8));
    return b;
}

QByteArray le32(uint32_t v) {
    return bytes({int(v & 0xff), int((v >> 8) & 0xff), int((v >> 16) & 0xff), int(v >> 24)});
}

const QString kEscapeName = QStringLiteral("\x1b]0;PWN\x07"); // a terminal's title set, as long as "DateTest"

bool hasControlCharacters(const QString& s) {
    return std::any_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x20 && c != u'\n'; });
}

QStringList filesLeft(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void dates_data() {
        QTest::addColumn<double>("serial");
        QTest::addColumn<QString>("text");
        QTest::newRow("the origin") << 0.0 << "1899-12-30 00:00:00";
        QTest::newRow("a day and a quarter") << 1.25 << "1899-12-31 06:00:00";
        // Before the origin the days count back, and the fraction is still the time of day.
        QTest::newRow("before 1900, with a time") << -1.25 << "1899-12-29 06:00:00";
        QTest::newRow("a time of the origin's day, negative") << -0.5 << "1899-12-30 12:00:00";
        QTest::newRow("rounded to the second") << 45678.0 + 0.4999999 / 86400 << "2025-01-21 00:00:00";
        QTest::newRow("rounded up to midnight") << 45678.0 + 86399.6 / 86400 << "2025-01-22 00:00:00";
        QTest::newRow("the year 100") << -657434.0 << "0100-01-01 00:00:00";
        QTest::newRow("the last second of 9999") << 2958465.0 + 86399.0 / 86400 << "9999-12-31 23:59:59";
        QTest::newRow("past 9999") << 2958466.0 << "";
        QTest::newRow("not a number") << std::nan("") << "";
    }
    void dates() {
        QFETCH(double, serial);
        QFETCH(QString, text);
        QCOMPARE(importer::jetDateText(serial), text);
    }

    void texts_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-16") << bytes({'T', 0, 0xED, 0, 'o', 0}) << QStringLiteral("Tío");
        QTest::newRow("a line break kept") << bytes({'a', 0, '\r', 0, '\n', 0, 'b', 0}) << QStringLiteral("a\r\nb");
        // Compressed: one byte a character, a 0 switching to two bytes a character and back.
        QTest::newRow("compressed, with a switch")
            << bytes({0xFF, 0xFE, 'C', 'a', 0, 0xAC, 0x20, 0, 'x'}) << QStringLiteral("Ca€x");
        QTest::newRow("compressed, cut in a character") << bytes({0xFF, 0xFE, 'a', 0, 0x41}) << QStringLiteral("a");
        QTest::newRow("odd length") << bytes({'a', 0, 'b'}) << QStringLiteral("a");
    }
    void texts() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, text);
        QCOMPARE(importer::unicodeText(reinterpret_cast<const unsigned char*>(stored.constData()),
                                       static_cast<std::size_t>(stored.size())),
                 text);
    }

    void numbers_data() {
        QTest::addColumn<QString>("kind"); // "currency:<ten-thousandths>" or "decimal:<scale>"
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("exact"); // as a double
        QTest::newRow("currency") << "currency:123450" << QByteArray() << "12.3450" << true;
        QTest::newRow("currency, negative") << "currency:-5" << QByteArray() << "-0.0005" << true;
        QTest::newRow("currency, the largest")
            << "currency:9223372036854775807" << QByteArray() << "922337203685477.5807" << false;
        QTest::newRow("currency, the smallest")
            << "currency:-9223372036854775808" << QByteArray() << "-922337203685477.5808" << false;
        QTest::newRow("decimal") << "decimal:2" << bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x39, 0x30, 0, 0})
                                 << "123.45" << true;
        QTest::newRow("decimal, negative, below one")
            << "decimal:4" << bytes({0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0, 0, 0}) << "-0.0005" << true;
        // The words: most significant first, each little-endian.
        QTest::newRow("decimal, 28 digits") << "decimal:0"
                                            << bytes({0x00, 0x00, 0x00, 0x00, 0x00, 0xEB, 0x35, 0xFD, 0x03, 0x91, 0x7A,
                                                      0x79, 0x6D, 0x4E, 0xF3, 0x38, 0xBE})
                                            << "1234567890123456789012345678" << false;
        QTest::newRow("decimal, zero with a sign")
            << "decimal:1" << bytes({0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) << "0.0" << true;
    }
    void numbers() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, stored);
        QFETCH(QString, text);
        QFETCH(bool, exact);
        const QString written = kind.startsWith(QLatin1String("currency:"))
                                    ? importer::currencyText(kind.mid(9).toLongLong())
                                    : importer::decimalText(reinterpret_cast<const unsigned char*>(stored.constData()),
                                                            kind.mid(8).toInt());
        QCOMPARE(written, text);
        QCOMPARE(importer::decimalValue(written).exact, exact);
        if (exact)
            QCOMPARE(QString::number(importer::decimalValue(written).value, 'f', text.section('.', 1).size()), text);
    }

    void realFile_everyValueAsLibmdbReadsIt() {
        // A real Jet 4 file: dates before 1900 and in 9999, line breaks in texts and memos.
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("tienda.mdb"));
        QVERIFY(QFile::copy(kJetFile, source));
        const QByteArray before = digest(source);
        const QDateTime modified = QFileInfo(source).lastModified();
        const QString target = dir.filePath(QStringLiteral("veskgestion.mdb"));
        const Run run = importMdb({source, target});
        QVERIFY2(run.code == 0, qPrintable(run.err + run.out));
        QVERIFY2(run.out.contains(QRegularExpression(QStringLiteral("\\nDateTest +6 +6 "))), qPrintable(run.out));
        QCOMPARE(digest(source), before); // never written
        QCOMPARE(QFileInfo(source).lastModified(), modified);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"tienda.mdb", "veskgestion.mdb"}));

        const auto converted = rowsOf(target, QStringLiteral("SELECT * FROM DateTest ORDER BY rowid"));
        QCOMPARE(converted.size(), 6);
        // libmdb's own reading, value by value: texts and numbers as it writes them, dates from
        // the double it reads (its text writes dates before 1900 wrong).
        MdbHandle* mdb = mdb_open(QFile::encodeName(source).constData(), MDB_NOFLAGS);
        QVERIFY(mdb);
        mdb_read_catalog(mdb, MDB_TABLE);
        MdbTableDef* t = mdb_read_table_by_name(mdb, const_cast<gchar*>("DateTest"), MDB_TABLE);
        mdb_read_columns(t);
        mdb_rewind_table(t);
        std::vector<std::vector<char>> bound(t->num_cols, std::vector<char>(MDB_BIND_SIZE));
        for (unsigned int i = 0; i < t->num_cols; ++i)
            mdb_bind_column(t, static_cast<int>(i) + 1, bound[i].data(), nullptr);
        int row = 0;
        while (mdb_fetch_row(t)) {
            for (unsigned int i = 0; i < t->num_cols; ++i) {
                const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
                QString expected = QString::fromUtf8(bound[i].data());
                if (col->col_type == MDB_DATETIME) {
                    double serial;
                    std::memcpy(&serial, mdb->pg_buf + col->cur_value_start, 8);
                    QCOMPARE(serial, std::trunc(serial)); // whole days in this file: any count of seconds agrees
                    expected = QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC)
                                   .addDays(static_cast<qint64>(serial))
                                   .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                    if (expected.size() == 18) expected.prepend(QLatin1Char('0')); // a year of three digits
                }
                QCOMPARE(converted[row][static_cast<int>(i)], expected);
            }
            ++row;
        }
        mdb_free_tabledef(t);
        mdb_close(mdb);
        QCOMPARE(row, 6);
        // What the file was made to test, seen in the result.
        QCOMPARE(converted[1][1], QStringLiteral("9999-01-01 00:00:00"));
        QCOMPARE(converted[2][1], QStringLiteral("1898-01-01 00:00:00"));
        QCOMPARE(converted[5][4], QStringLiteral("New line\r\nin field"));
        QCOMPARE(rowsOf(target, QStringLiteral("SELECT typeof(DateTimeCol), typeof(IDCol) FROM DateTest LIMIT 1"))[0],
                 (QStringList{"text", "integer"}));
        // Texts compare without regard to case, as in Access.
        QCOMPARE(rowsOf(target, QStringLiteral("SELECT count(*) FROM DateTest WHERE ShortTextCol = 'HELLO'"))[0][0],
                 QStringLiteral("1"));
    }

    void commandLine_helpAndBadArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // how standard output begins; nothing, where empty
        QTest::addColumn<QString>("err"); // how standard error begins; nothing, where empty
        const QString usage = QStringLiteral("Uso: actualizapvp-import [--replace] ORIGEN DESTINO\n");
        const QString unknown = QStringLiteral("actualizapvp-import: opción desconocida: ");
        QTest::newRow("help") << QStringList{"-h"} << 0 << usage << QString();
        QTest::newRow("help after a file") << QStringList{"a.mdb", "--help"} << 0 << usage << QString();
        QTest::newRow("one file") << QStringList{"a.mdb"} << 2 << QString() << usage;
        QTest::newRow("three files") << QStringList{"a", "b", "c"} << 2 << QString() << usage;
        QTest::newRow("an unknown option") << QStringList{"--reemplazar", "a", "b"} << 2 << QString()
                                           << unknown + QStringLiteral("--reemplazar\n\n") + usage;
        QTest::newRow("an option with control characters")
            << QStringList{QStringLiteral("-") + kEscapeName, "a", "b"} << 2 << QString()
            << unknown + QStringLiteral("-\\x1b]0;PWN\\x07\n");
    }
    void commandLine_helpAndBadArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const Run run = importMdb(arguments);
        QCOMPARE(run.code, code);
        QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.startsWith(out), qPrintable(run.out));
        QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.startsWith(err), qPrintable(run.err));
    }

    void badSources_clearErrorNothingMade_data() {
        QTest::addColumn<QString>("make");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::newRow("missing") << "missing" << 1 << "no existe";
        QTest::newRow("a text file") << "text" << 1 << "no es una base de datos de Access";
        QTest::newRow("already SQLite") << "sqlite" << 1 << "ya es una base de datos SQLite";
        QTest::newRow("cut short") << "cut" << 1 << "está cortado";
        QTest::newRow("its catalog damaged") << "catalog" << 1 << "está dañado";
        QTest::newRow("an encrypted ACE file") << "ace" << 1 << "está cifrado con contraseña";
        QTest::newRow("noise after the header") << "noise" << 1 << "dañado";
        QTest::newRow("the target exists") << "target" << 3 << "ya existe; use --replace";
    }
    void badSources_clearErrorNothingMade() {
        QFETCH(QString, make);
        QFETCH(int, code);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("origen.mdb"));
        const QString target = dir.filePath(QStringLiteral("destino.mdb"));
        QByteArray jet;
        {
            QFile f(kJetFile);
            QVERIFY(f.open(QIODevice::ReadOnly));
            jet = f.readAll();
        }
        auto write = [](const QString& path, const QByteArray& data) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(data);
        };
        if (make == QLatin1String("text")) write(source, "CODARTI;NOMARTI\nA1;Tornillo\n");
        if (make == QLatin1String("sqlite"))
            write(source, QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\0'));
        if (make == QLatin1String("cut")) write(source, jet.left(3 * kPage + 100));
        if (make == QLatin1String("catalog"))
            write(source, jet.left(2 * kPage) + QByteArray(kPage, '\0') + jet.mid(3 * kPage));
        if (make == QLatin1String("ace")) {
            QByteArray ace = jet;
            ace.replace(4, 15, "Standard ACE DB");
            ace[0x14] = 2;
            for (qsizetype i = kPage; i < ace.size(); ++i) // every page past the first, as encryption leaves it
                ace[i] = static_cast<char>((i * 2654435761u) >> 13);
            write(source, ace);
        }
        if (make == QLatin1String("noise")) {
            QByteArray noisy = jet;
            for (qsizetype i = 3 * kPage; i < noisy.size(); ++i)
                noisy[i] = static_cast<char>((i * 40503u) >> 7);
            write(source, noisy);
        }
        if (make == QLatin1String("target")) {
            write(source, jet);
            write(target, "lo que ya había");
        }
        const QByteArray sourceBefore = digest(source), targetBefore = digest(target);
        const Run run = importMdb({source, target});
        QCOMPARE(run.code, code);
        const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == 1 && lines[0].startsWith(QStringLiteral("actualizapvp-import: ")) &&
                     (lines[0].contains(source) || lines[0].contains(target)) && lines[0].contains(said),
                 qPrintable(run.err));
        QCOMPARE(digest(source), sourceBefore);
        QCOMPARE(digest(target), targetBefore); // not made, or as it was
        QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("origen.mdb"));
        left.removeAll(QStringLiteral("destino.mdb"));
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' '))); // no temporary file left behind
    }

    void damagedFiles_refusedNamingWhatIsMissing_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("said");
        const QByteArray jet = realJetFile();
        QTest::newRow("cut after 20 pages")
            << jet.left(20 * kPage) << "está cortado o dañado: su catálogo pone la tabla 'f_";
        QTest::newRow("cut in its last page") << jet.left(66 * kPage)
                                              << "la tabla 'MSysNavPaneObjectIDs' está incompleta: su definición "
                                                 "cuenta 11 filas y sólo se pudieron leer 0";
        QTest::newRow("a table counting more rows than it has")
            << patched(kDateTestRows, le32(7))
            << "la tabla 'DateTest' está incompleta: su definición cuenta 7 filas y sólo se pudieron leer 6";
        QTest::newRow("a catalog counting more rows than it has")
            << patched(kCatalogRows, le32(26))
            << "su catálogo (la tabla 'MSysObjects') está incompleto: su definición cuenta 26 filas y sólo se pudieron "
               "leer 25";
        // Made a memo of 1000 bytes on a page of its own: the row it points to is shorter.
        QTest::newRow("a memo longer than what it points to")
            << patched(kFirstMemo, le32(0x40000000 | 1000) + le32(20 << 8))
            << "la tabla 'DateTest' está dañada (un memo de 1000 bytes del que sólo se encuentran";
        QTest::newRow("two columns of one name")
            << patched(kDateColName, utf16(QStringLiteral("TimeCol")))
            << "la tabla 'DateTest' está dañada (dos columnas se llaman 'TimeCol')";
        QTest::newRow("a name with control characters")
            << patched(kDateTestName, utf16(kEscapeName), patched(kDateTestRows, le32(7)))
            << "la tabla '\\x1b]0;PWN\\x07' está incompleta";
    }
    void damagedFiles_refusedNamingWhatIsMissing() {
        // Nothing lost in silence: a file whose tables cannot all be read whole is refused, in
        // one Spanish line naming the table and what is missing, and no target is made.
        QFETCH(QByteArray, file);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const auto [source, target, run] = convertBytes(dir, file);
        QCOMPARE(run.code, 1);
        const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == 1 &&
                     lines[0].startsWith(QStringLiteral("actualizapvp-import: ") + source + QLatin1String(": ")) &&
                     lines[0].contains(said),
                 qPrintable(run.err));
        QVERIFY2(!hasControlCharacters(run.err + run.out), qPrintable(run.err + run.out));
        QCOMPARE(filesLeft(dir.path()), QStringList{QStringLiteral("origen.mdb")});
    }

    void unusualFiles_convertedWithANotice_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("table"); // as in the SQLite file
        QTest::addColumn<QString>("notice");
        QTest::newRow("a name SQLite keeps for itself")
            << patched(kDateTestName, utf16(QStringLiteral("sqlite_x"))) << "_sqlite_x"
            << "aviso: pasa como '_sqlite_x': SQLite reserva para sí los nombres que empiezan por sqlite_";
        QTest::newRow("a name with control characters")
            << patched(kDateTestName, utf16(kEscapeName)) << kEscapeName << "\n\\x1b]0;PWN\\x07 ";
        // Access leaves the count behind when it is not closed properly: nothing is missing.
        QTest::newRow("a table counting fewer rows than it has")
            << patched(kDateTestRows, le32(2)) << "DateTest"
            << "aviso: su definición cuenta 2 filas y se leyeron 6";
    }
    void unusualFiles_convertedWithANotice() {
        QFETCH(QByteArray, file);
        QFETCH(QString, table);
        QFETCH(QString, notice);
        QTemporaryDir dir;
        const auto [source, target, run] = convertBytes(dir, file);
        QVERIFY2(run.code == 0 && run.err.isEmpty(), qPrintable(run.err));
        QVERIFY2(run.out.contains(notice), qPrintable(run.out));
        QVERIFY2(!hasControlCharacters(run.out), qPrintable(run.out));
        QCOMPARE(rowsOf(target, QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)), (QList<QStringList>{{"6"}}));
    }

    void target_neverHalfMadeNorTakenOver() {
        // With --replace the target is replaced whole; without it, a target made while the
        // conversion runs is kept as it is. A conversion stopped by Ctrl+C or killed leaves the
        // old target as it was, never a half-made one.
        QTemporaryDir dir;
        const QString big = dir.filePath(QStringLiteral("grande.mdb"));
        QVERIFY(sample::growJetFile(kJetFile, "DateTest", big, 400000));
        const QString target = dir.filePath(QStringLiteral("veskgestion.mdb"));
        {
            QProcess p;
            p.start(QStringLiteral(ZUK_IMPORT_MDB), {big, target});
            QVERIFY(p.waitForStarted());
            QByteArray said;
            QTRY_VERIFY_WITH_TIMEOUT((said += p.readAllStandardOutput()).contains("Jet 4"), 10000);
            QFile made(target);
            QVERIFY(made.open(QIODevice::WriteOnly));
            made.write("de otro programa");
            made.close();
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 3);
            QVERIFY(p.readAllStandardError().contains("apareció mientras se convertía"));
            QVERIFY(made.open(QIODevice::ReadOnly));
            QCOMPARE(made.readAll(), QByteArray("de otro programa"));
            QCOMPARE(filesLeft(dir.path()), (QStringList{"grande.mdb", "veskgestion.mdb"}));
            made.remove();
        }
        QVERIFY(importMdb({kJetFile, target}).code == 0);
        const QByteArray old = digest(target);
        for (const int signal : {SIGINT, SIGKILL}) {
            QProcess p;
            p.start(QStringLiteral(ZUK_IMPORT_MDB), {QStringLiteral("--replace"), big, target});
            QVERIFY(p.waitForStarted());
            // Once rows are being written.
            QByteArray said;
            QTRY_VERIFY_WITH_TIMEOUT((said += p.readAllStandardOutput()).contains("Jet 4"), 10000);
            QTest::qWait(200);
            ::kill(static_cast<pid_t>(p.processId()), signal);
            QVERIFY2(p.waitForFinished(20000), "the converter did not end within 20 s of the signal");
            if (signal == SIGINT) {
                QCOMPARE(p.exitCode(), 130);
                QVERIFY(p.readAllStandardError().contains("interrumpido"));
            }
            QCOMPARE(digest(target), old);
        }
        const Run run = importMdb({QStringLiteral("--replace"), big, target});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        const auto counted = rowsOf(target, QStringLiteral("SELECT count(*) FROM DateTest"));
        QVERIFY(!counted.isEmpty() && counted[0][0].toLongLong() >= 400000);
    }

    void program_runsOnAConvertedFile() {
        // The shop's tables added to a converted file, typed as the converter types Access's
        // columns: the run prices them as usual.
        TestDatabase database(false); // none there yet
        const QString target = database.path;
        QVERIFY(importMdb({kJetFile, target}).code == 0);
        database.sql(QStringLiteral(
            "CREATE TABLE tblArticulos (CODARTI VARCHAR(20) COLLATE NOCASE, NOMARTI VARCHAR(50) COLLATE NOCASE,"
            " margen1 DOUBLE, margen2 FLOAT, margen3 DECIMAL(5,2), costesiniva CURRENCY, ultimopreciocoste CURRENCY,"
            " pvp1 CURRENCY, pvp2 CURRENCY, pvp3 CURRENCY, activo BOOLEAN, PRIMARY KEY (CODARTI));"
            "CREATE TABLE tblHistoricoEntradas (NUMENTRADA INTEGER, CODARTI VARCHAR(20) COLLATE NOCASE,"
            " entro DATETIME, pvp CURRENCY, descuento FLOAT, PRIMARY KEY (NUMENTRADA));"
            "CREATE INDEX idxEntradasCodigo ON tblHistoricoEntradas (CODARTI COLLATE NOCASE, entro);"
            "INSERT INTO tblArticulos VALUES ('a1', 'Tornillo', 20, 0, NULL, 0, 0, 0, 0, 0, -1),"
            " ('B2', 'Tuerca', 10, 10, 10, 0, 0, 0, 0, 0, 0);"
            "INSERT INTO tblHistoricoEntradas VALUES (1, 'A1', '1898-01-01 00:00:00', 5, 0),"
            " (2, 'A1', '2024-01-01 00:00:00', 100, 10);"));
        frmPrecioCoste f;
        BoxAnswerer c;
        c.press("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(database.value(QStringLiteral("SELECT pvp1 FROM tblArticulos WHERE CODARTI='A1'")).toDouble(), 108.0);
        QCOMPARE(f.lstNoActualizados->ListItemCount(), 1); // B2 has no entry
        QCOMPARE(rowsOf(target, QStringLiteral("SELECT count(*) FROM DateTest")), (QList<QStringList>{{"6"}}));
    }
};

QTEST_MAIN(TestImport)
#include "test_import.moc"

// Database files that are not what they should be, each met by a run in the real window: the
// operator gets a clear box, the program does not crash or hang, and a file that could not be
// written keeps its bytes.
#include "BoxAnswerer.h"
#include "TestDatabase.h"
#include "forms/main/frmPrecioCoste.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing;
using forms::frmPrecioCoste;

namespace {

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "(no file)";
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A small shop: ARTICLES articles, each with two entries.
void fill(const TestDatabase& database, int articles) {
    QString sql = QStringLiteral("BEGIN;");
    for (int i = 0; i < articles; ++i) {
        sql += QStringLiteral("INSERT INTO tblArticulos VALUES ('A%1','Artículo %1',10,20,30,0,0,0,0,0,'F');"
                              "INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) VALUES"
                              " ('A%1','2024-01-01',%2,0),('A%1','2024-02-01',%3,5);")
                   .arg(i)
                   .arg(1 + i % 50)
                   .arg(2 + i % 70);
    }
    database.sql(sql + QStringLiteral("COMMIT;"));
}

// Another program that died in the middle of a write: the file holds part of its changes, and
// the journal beside it what is needed to take them back.
void crashedWriter(const QString& path) {
    const pid_t child = fork();
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db,
                     "PRAGMA cache_size=1; BEGIN; UPDATE tblArticulos SET pvp1 = 999, NOMARTI = zeroblob(2000);"
                     "UPDATE tblHistoricoEntradas SET pvp = 999;",
                     nullptr, nullptr, nullptr);
        _exit(0); // no commit, no rollback, no clean-up
    }
    int status = 0;
    waitpid(child, &status, 0);
}

// Presses, in each box, the first of these captions it has.
BoxAnswerer::Action leave() {
    return [](QDialog* box) {
        const QStringList captions = captionsLeftToRight(box);
        for (const char* c : {"Salir", "Cancelar", "Aceptar"})
            if (captions.contains(QLatin1String(c))) return clickOn(QLatin1String(c))(box);
    };
}

} // namespace

class TestBadFiles : public QObject {
    Q_OBJECT
private slots:
    void badFile_toldAndUntouched_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("told");
        const QString notFound = QStringLiteral("No se pudo encontrar el archivo");
        const QString format = QStringLiteral("No se reconoce el formato de la base de datos");
        const QString damaged = QStringLiteral("está dañada");
        QTest::newRow("missing") << "missing" << notFound;
        QTest::newRow("a folder in its place") << "folder" << notFound;
        QTest::newRow("zero-length") << "empty" << format;
        QTest::newRow("truncated inside the header") << "truncate:60" << damaged;
        QTest::newRow("truncated after the first page") << "truncate:4096" << damaged;
        QTest::newRow("truncated in the middle") << "truncate:half" << damaged;
        QTest::newRow("truncated one byte short") << "truncate:-1" << damaged;
        QTest::newRow("not a database") << "text" << format;
        // The shop's own Access file: the box also says how to bring it over.
        QTest::newRow("a Jet file") << "jet"
                                    << "Es una base de datos de Access: para usarla con este programa, conviértala "
                                       "antes. En una terminal:";
        QTest::newRow("a Jet file: the converter by its installed name") << "jet"
                                                                         << "\r\n  actualizapvp-import '";
        QTest::newRow("read-only") << "readonly"
                                   << "sólo lectura";
        QTest::newRow("no articles table") << "sql:DROP TABLE tblArticulos"
                                           << "no puede encontrar la tabla o consulta de entrada 'tblArticulos'";
        QTest::newRow("no entries table") << "sql:DROP TABLE tblHistoricoEntradas"
                                          << "no puede encontrar la tabla o consulta de entrada 'tblHistoricoEntradas'";
        QTest::newRow("a price column missing") << "sql:ALTER TABLE tblArticulos DROP COLUMN pvp3"
                                                << "No se encontró el elemento en la colección";
        QTest::newRow("a margin too big for a number") << "sql:UPDATE tblArticulos SET margen1 = '1e400'"
                                                       << "Desbordamiento";
        QTest::newRow("the articles a view")
            << "sql:ALTER TABLE tblArticulos RENAME TO t; CREATE VIEW tblArticulos AS SELECT * FROM t"
            << "no es una tabla con identificadores de fila (es una vista)";
        QTest::newRow("the articles without rowid")
            << "sql:ALTER TABLE tblArticulos RENAME TO t; CREATE TABLE tblArticulos (CODARTI TEXT PRIMARY KEY,"
               " NOMARTI, FAMILIA, margen1, margen2, margen3, costesiniva, ultimopreciocoste, pvp1, pvp2, pvp3)"
               " WITHOUT ROWID; INSERT INTO tblArticulos SELECT * FROM t; DROP TABLE t"
            << "no es una tabla con identificadores de fila (se creó sin ellos, WITHOUT ROWID)";
    }
    void badFile_toldAndUntouched() {
        QFETCH(QString, kind);
        QFETCH(QString, told);
        const bool noFile = kind == QLatin1String("missing") || kind == QLatin1String("folder");
        TestDatabase database(!noFile);
        const QString& path = database.path;
        if (kind == QLatin1String("folder")) QVERIFY(QDir().mkdir(path));
        if (!noFile) fill(database, 200);
        if (kind == QLatin1String("empty")) write(path, {});
        if (kind == QLatin1String("text")) write(path, "CODARTI;NOMARTI;pvp1\nA1;Tornillo;0,12\n");
        if (kind == QLatin1String("jet"))
            write(path, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2028, '\x7f'));
        if (kind == QLatin1String("readonly"))
            QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther);
        if (kind.startsWith(QLatin1String("sql:"))) database.sql(kind.mid(4));
        if (kind.startsWith(QLatin1String("truncate:"))) {
            const QString at = kind.mid(9);
            const qint64 size = QFileInfo(path).size();
            QVERIFY(QFile::resize(path, at == QLatin1String("half") ? size / 2
                                        : at.toLongLong() < 0       ? size - 1
                                                                    : at.toLongLong()));
        }
        const QByteArray before = digest(path);

        frmPrecioCoste f;
        f.show();
        {
            BoxAnswerer c;
            c.otherwise(leave());
            f.cmdActualizar->click();
            f.close();
            QVERIFY(!c.boxes.empty());
            QVERIFY2(c.boxes[0].text.contains(told, Qt::CaseInsensitive), qPrintable(c.boxes[0].text));
            QStringList seen;
            for (const auto& b : c.boxes)
                seen << b.title + QStringLiteral(": ") + b.text.simplified() + QStringLiteral(" [") +
                            b.buttons.join(QLatin1Char('/')) + QLatin1Char(']');
            QVERIFY2(c.boxes.size() <= 5, qPrintable(seen.join(QLatin1Char('\n'))));
            qInfo("%s", qPrintable(c.boxes[0].text.section(QStringLiteral("Descripción: "), -1)));
        }
        QCOMPARE(digest(path), before);
        if (kind == QLatin1String("folder")) QVERIFY(QDir().rmdir(path));
    }

    void hotJournal_rolledBackAndRunGoesOn() {
        // What the crashed program half wrote is taken back before the run reads anything.
        TestDatabase database;
        fill(database, 50);
        crashedWriter(database.path);
        QVERIFY(QFileInfo(database.path + QStringLiteral("-journal")).size() > 0);
        frmPrecioCoste f;
        BoxAnswerer c;
        c.press("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(database.value(QStringLiteral("SELECT count(*) FROM tblHistoricoEntradas WHERE pvp = 999")).toInt(),
                 0);
        QCOMPARE(database.value(QStringLiteral("SELECT count(*) FROM tblArticulos WHERE pvp1 = 999")).toInt(), 0);
        // A0's latest entry: 2 less 5 %.
        QCOMPARE(database.value(QStringLiteral("SELECT costesiniva FROM tblArticulos WHERE CODARTI='A0'")).toDouble(),
                 1.9);
        QCOMPARE(database.value(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    }

    void fullFileSystem_toldAndUntouched() {
        // The program's folder on a small file system with no room left: the journal cannot be
        // written, so nothing can be saved, and the operator hears why.
        const QByteArray folder = QFile::encodeName(QCoreApplication::applicationDirPath());
        if (geteuid() != 0) QSKIP("mounting a small file system needs root");
        if (mount("tmpfs", folder.constData(), "tmpfs", 0, "size=512k") != 0)
            QSKIP("this machine does not allow mounting a file system here");
        const auto unmount = qScopeGuard([&] { umount2(folder.constData(), MNT_DETACH); });
        QByteArray before;
        {
            TestDatabase database;
            fill(database, 200);
            {
                QFile filler(QString::fromLocal8Bit(folder) + QStringLiteral("/relleno"));
                QVERIFY(filler.open(QIODevice::WriteOnly));
                const QByteArray block(4096, 'x');
                while (filler.write(block) == block.size() && filler.flush()) {
                }
            }
            before = digest(database.path);
            frmPrecioCoste f;
            BoxAnswerer c;
            c.otherwise(leave());
            f.cmdActualizar->click();
            f.close();
            QVERIFY(!c.boxes.empty());
            QVERIFY2(c.boxes[0].text.contains(QStringLiteral("El disco está lleno")), qPrintable(c.boxes[0].text));
            QCOMPARE(digest(database.path), before);
        }
    }
};

QTEST_MAIN(TestBadFiles)
#include "test_bad_files.moc"

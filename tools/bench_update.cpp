// Benchmark of the cost update run.
//
//   bench_update [S|M|L|ARTICLES:ENTRIES ...]      (default: S M)
//
// For each size it generates the sample database once (kept as sample_<size>.mdb beside this
// program), then, on two fresh copies:
//   1. the real run: the main window on the offscreen platform, "&ACTUALIZAR" pressed, every
//      event processed, the list filled, the summary box answered;
//   2. the engine's own set-based UPDATE computing the same prices in one statement.
// It prints the wall time of each, their ratio, articles per second and the peak RSS.
#include "SampleDatabase.h"
#include "forms/main/frmPrecioCoste.h"
#include "platform/ui/Events.h"
#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <sqlite3.h>

#include <clocale>
#include <cstdio>
#include <sys/resource.h>

namespace {

// The set-based version of the run: each article with entries takes its cost from its latest
// entry; number() keeps 15 significant digits and reads Null as 0, as the run does.
const char* const kSetBasedUpdate = R"SQL(
UPDATE tblArticulos SET
  costesiniva = u.c, ultimopreciocoste = u.c,
  pvp1 = CAST(printf('%.15g', u.c + u.c * IFNULL(CAST(printf('%.15g', tblArticulos.margen1) AS REAL), 0) / 100) AS REAL),
  pvp2 = CAST(printf('%.15g', u.c + u.c * IFNULL(CAST(printf('%.15g', tblArticulos.margen2) AS REAL), 0) / 100) AS REAL),
  pvp3 = CAST(printf('%.15g', u.c + u.c * IFNULL(CAST(printf('%.15g', tblArticulos.margen3) AS REAL), 0) / 100) AS REAL)
FROM (
  SELECT a.rowid AS id,
         (SELECT IFNULL(CAST(printf('%.15g', e.pvp) AS REAL), 0)
                 * (1 - IFNULL(CAST(printf('%.15g', e.descuento) AS REAL), 0) / 100)
            FROM tblHistoricoEntradas e WHERE e.CODARTI = a.CODARTI ORDER BY e.entro DESC LIMIT 1) AS c
    FROM tblArticulos a) AS u
WHERE tblArticulos.rowid = u.id AND u.c IS NOT NULL;
)SQL";

bool runSetBasedUpdate(const QString& path, QString& error) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA cache_size=-32768", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, kSetBasedUpdate, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) error = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return rc == SQLITE_OK;
}

// Articles whose five prices differ between two databases (beyond the last of 15 digits),
// leaving out the article `except`. -1 when the files cannot be compared.
int64_t differingArticles(const QString& a, const QString& b, const QString& except = QString()) {
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    int64_t n = -1;
    const QByteArray attach = "ATTACH '" + QFile::encodeName(b).replace("'", "''") + "' AS otra;";
    const char* const query = R"SQL(
SELECT count(*) FROM tblArticulos x JOIN otra.tblArticulos y ON x.rowid = y.rowid
 WHERE x.CODARTI IS NOT ?1 AND (
       abs(x.costesiniva - y.costesiniva) > 1e-12 * abs(y.costesiniva)
    OR abs(x.ultimopreciocoste - y.ultimopreciocoste) > 1e-12 * abs(y.ultimopreciocoste)
    OR abs(x.pvp1 - y.pvp1) > 1e-12 * abs(y.pvp1) OR abs(x.pvp2 - y.pvp2) > 1e-12 * abs(y.pvp2)
    OR abs(x.pvp3 - y.pvp3) > 1e-12 * abs(y.pvp3)))SQL";
    if (sqlite3_open_v2(QFile::encodeName(a).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, attach.constData(), nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, query, -1, &st, nullptr) == SQLITE_OK) {
        const QByteArray code = except.toUtf8();
        if (!except.isEmpty()) sqlite3_bind_text(st, 1, code.constData(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

long peakRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

struct Case {
    QString name;
    sample::Size size;
};

bool parseCase(const QString& arg, Case& testCase) {
    if (arg == QLatin1String("S"))
        testCase = {arg, {10'000, 100'000}};
    else if (arg == QLatin1String("M"))
        testCase = {arg, {100'000, 1'000'000}};
    else if (arg == QLatin1String("L"))
        testCase = {arg, {1'000'000, 10'000'000}};
    else {
        const QStringList parts = arg.split(QLatin1Char(':'));
        bool ok1 = false, ok2 = false;
        if (parts.size() != 2) return false;
        testCase = {QString(arg).replace(QLatin1Char(':'), QLatin1Char('_')),
                    {parts[0].toLongLong(&ok1), parts[1].toLongLong(&ok2)}};
        return ok1 && ok2 && testCase.size.articles >= 0 && testCase.size.entries >= 0;
    }
    return true;
}

bool copyFile(const QString& de, const QString& a) {
    QFile::remove(a);
    return QFile::copy(de, a);
}

// Answers the summary box when it opens, with its first (and only) button.
void answerBoxes() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<ui::MessageBox*>(QApplication::activeModalWidget()))
            if (!box->buttons().empty()) box->buttons().front()->click();
    });
    timer->start(20);
}

int measure(const Case& testCase) {
    const QString dir = QCoreApplication::applicationDirPath();
    const QString samplePath = dir + QStringLiteral("/sample_") + testCase.name + QStringLiteral(".mdb");
    if (!QFile::exists(samplePath)) {
        QElapsedTimer t;
        t.start();
        const std::string e = sample::generate(QFile::encodeName(samplePath).toStdString(), testCase.size);
        if (!e.empty()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(testCase.name), e.c_str());
            return 1;
        }
        std::printf("%s: generated in %.1f s\n", qPrintable(testCase.name), t.elapsed() / 1000.0);
    }

    // The set-based update on a pristine copy.
    const QString setBasedCopy = dir + QStringLiteral("/conjunto.mdb");
    if (!copyFile(samplePath, setBasedCopy)) return 1;
    QElapsedTimer t;
    t.start();
    QString error;
    if (!runSetBasedUpdate(setBasedCopy, error)) {
        std::fprintf(stderr, "set-based update failed: %s\n", qPrintable(error));
        return 1;
    }
    const double setBasedSeconds = t.elapsed() / 1000.0;

    // The real run, on the database beside this program.
    const QString database = dir + QStringLiteral("/veskgestion.mdb");
    if (!copyFile(samplePath, database)) return 1;
    double runSeconds = 0;
    int listed = 0;
    {
        frmPrecioCoste window;
        window.show();
        QApplication::processEvents();
        t.restart();
        window.cmdActualizar->click();
        runSeconds = t.elapsed() / 1000.0;
        listed = window.lstNoActualizados->ListItemCount();
    }
    const int64_t differing = differingArticles(database, setBasedCopy);
    QFile::remove(database);
    QFile::remove(setBasedCopy);

    const double n = static_cast<double>(testCase.size.articles);
    std::printf("%-3s %9lld articles %10lld entries | run %8.2f s (%9.0f articles/s, %5d listed) | "
                "set-based %7.2f s | ratio %5.2f | peak RSS %ld MB | prices differing %lld\n",
                qPrintable(testCase.name), static_cast<long long>(testCase.size.articles),
                static_cast<long long>(testCase.size.entries), runSeconds, runSeconds > 0 ? n / runSeconds : 0.0,
                listed, setBasedSeconds, setBasedSeconds > 0 ? runSeconds / setBasedSeconds : 0.0, peakRssMb(),
                static_cast<long long>(differing));
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::GuardedApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    std::vector<Case> cases;
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) args = {QStringLiteral("S"), QStringLiteral("M")};
    for (const QString& a : args) {
        Case c;
        if (!parseCase(a, c)) {
            std::fprintf(stderr, "usage: bench_update [S|M|L|ARTICLES:ENTRIES ...]\n");
            return 2;
        }
        cases.push_back(c);
    }
    answerBoxes();
    for (const Case& c : cases)
        if (measure(c) != 0) return 1;
    return 0;
}

// Benchmark of the cost update run.
//
//   bench_update [--repeat N] [--run-only] [S|M|L|ARTICLES:ENTRIES ...]   (default: --repeat 3 S M)
//
// --run-only leaves out the two statements (for a profiler's eyes on the run alone).
//
// For each size it generates the sample database once (kept as sample_<size>.mdb beside this
// program), then, N times, each on a fresh copy:
//   1. the real run: the main window ("&ACTUALIZAR" pressed, every event processed, the list
//      filled, the summary box answered), on the platform QT_QPA_PLATFORM names (offscreen unless
//      set: xcb under Xvfb measures real painting);
//   2. the plain statement a user would type into the sqlite3 shell instead (sql/plain_update.sql),
//      run by the sqlite3 shell with its defaults;
//   3. the engine computing exactly the run's prices in one statement, 15-digit rounding included
//      (sql/set_based_prices.sql), with a 32 MB cache.
// It prints the medians, the run's processor time and the bytes it read from the disk (not from
// the system's page cache), the run's ratio to each, articles per second, the process's peak RSS
// (the run's: the statements run in the shell's own process) and how many articles the run
// priced differently from the plain statement.
#include "SampleDatabase.h"
#include "forms/main/frmPrecioCoste.h"
#include "platform/ui/Events.h"
#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <sqlite3.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <sys/resource.h>

using forms::frmPrecioCoste;

namespace {

QString sqlFile(const char* name) { return QStringLiteral(ZUK_SQL_DIR "/") + QString::fromLatin1(name); }

// Runs an SQL file on a database in the sqlite3 shell; the seconds it took, or -1.
double shell(const QString& database, const QString& sql, const QByteArray& before = {}) {
    QFile f(sql);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("sqlite3"), {database});
    p.write(before + f.readAll());
    p.closeWriteChannel();
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    return t.elapsed() / 1000.0;
}

// Articles whose five prices differ between two databases beyond the last of 15 digits; -1 when
// the files cannot be compared.
int64_t differingArticles(const QString& a, const QString& b) {
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    int64_t n = -1;
    const QByteArray attach = "ATTACH '" + QFile::encodeName(b).replace("'", "''") + "' AS other;";
    const char* const query = R"SQL(
SELECT count(*) FROM tblArticulos x JOIN other.tblArticulos y ON x.rowid = y.rowid
 WHERE abs(x.costesiniva - y.costesiniva) > 1e-12 * abs(y.costesiniva)
    OR abs(x.ultimopreciocoste - y.ultimopreciocoste) > 1e-12 * abs(y.ultimopreciocoste)
    OR abs(x.pvp1 - y.pvp1) > 1e-12 * abs(y.pvp1) OR abs(x.pvp2 - y.pvp2) > 1e-12 * abs(y.pvp2)
    OR abs(x.pvp3 - y.pvp3) > 1e-12 * abs(y.pvp3))SQL";
    if (sqlite3_open_v2(QFile::encodeName(a).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, attach.constData(), nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, query, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

// This process's processor time so far (user and system), and the bytes it read from the disk.
struct Usage {
    double cpu = 0;
    double readMb = 0;
};
Usage usage() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return {static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6,
            static_cast<double>(u.ru_inblock) * 512 / 1e6};
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

bool freshCopy(const QString& from, const QString& to) {
    QFile::remove(to);
    return QFile::copy(from, to);
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

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool runOnly = false;

int measure(const Case& testCase, int repeat) {
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
    const QString plainCopy = dir + QStringLiteral("/plain.mdb");
    const QString setBasedCopy = dir + QStringLiteral("/set_based.mdb");
    const QString database = dir + QStringLiteral("/veskgestion.mdb");
    std::vector<double> runs, plains, setBaseds, cpus, reads;
    int listed = 0;
    int64_t differing = -1;
    for (int r = 0; r < repeat; ++r) {
        if (!freshCopy(samplePath, plainCopy) || !freshCopy(samplePath, setBasedCopy) ||
            !freshCopy(samplePath, database))
            return 1;
        if (!runOnly) {
            plains.push_back(shell(plainCopy, sqlFile("plain_update.sql")));
            setBaseds.push_back(shell(setBasedCopy, sqlFile("set_based_prices.sql"), "PRAGMA cache_size=-32768;\n"));
            if (plains.back() < 0 || setBaseds.back() < 0) return 1;
        }
        {
            frmPrecioCoste window;
            window.show();
            QApplication::processEvents();
            QElapsedTimer t;
            const Usage before = usage();
            t.start();
            window.cmdActualizar->click();
            runs.push_back(t.elapsed() / 1000.0);
            const Usage after = usage();
            cpus.push_back(after.cpu - before.cpu);
            reads.push_back(after.readMb - before.readMb);
            listed = window.lstNoActualizados->ListItemCount();
        }
        if (!runOnly) differing = differingArticles(database, plainCopy);
    }
    for (const QString& f : {plainCopy, setBasedCopy, database})
        QFile::remove(f);

    const double run = median(runs), plain = median(plains), setBased = median(setBaseds);
    const double n = static_cast<double>(testCase.size.articles);
    std::printf("%-3s %8lld articles %9lld entries | median of %d: run %7.2f s (processor %.2f s, %.0f MB read from "
                "disk, %8.0f articles/s, %6d listed) | "
                "plain statement %6.2f s, ratio %4.2f | set-based 15-digit %6.2f s, ratio %4.2f | peak RSS %ld MB | "
                "prices differing %lld\n",
                qPrintable(testCase.name), static_cast<long long>(testCase.size.articles),
                static_cast<long long>(testCase.size.entries), repeat, run, median(cpus), median(reads),
                run > 0 ? n / run : 0.0, listed, plain, plain > 0 ? run / plain : 0.0, setBased,
                setBased > 0 ? run / setBased : 0.0, peakRssMb(), static_cast<long long>(differing));
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::GuardedApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    std::vector<Case> cases;
    int repeat = 3;
    QStringList args = QCoreApplication::arguments().mid(1);
    for (bool more = true; more && !args.isEmpty();) {
        more = false;
        if (args.size() >= 2 && args[0] == QLatin1String("--repeat")) {
            repeat = std::max(1, args[1].toInt());
            args = args.mid(2);
            more = true;
        } else if (args[0] == QLatin1String("--run-only")) {
            runOnly = true;
            args = args.mid(1);
            more = true;
        }
    }
    if (args.isEmpty()) args = {QStringLiteral("S"), QStringLiteral("M")};
    for (const QString& a : args) {
        Case c;
        if (!parseCase(a, c)) {
            std::fprintf(stderr, "usage: bench_update [--repeat N] [--run-only] [S|M|L|ARTICLES:ENTRIES ...]\n");
            return 2;
        }
        cases.push_back(c);
    }
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    answerBoxes();
    for (const Case& c : cases)
        if (measure(c, repeat) != 0) return 1;
    return 0;
}

// Benchmark of the Access converter against libmdb reading the same file.
//
//   bench_import [--repeat N] [ROWS]      (default: --repeat 3, 1,000,000 rows)
//
// The big file is grown from the real one in the tests' data (tests/data/jet/DateTestDatabase.mdb,
// see GrowJet.h) and kept as big_<rows>.mdb beside this program.
//
// Then, N times each, medians printed:
//   1. libmdb reading every row with every column bound to text, as its own export does;
//   2. the converter (actualizapvp-import) writing the SQLite file.
#include "GrowJet.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mdbtools.h>
#include <vector>

namespace {

const char* const kTable = "DateTest";

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// libmdb reading every row, every column bound to text. The number of rows, or -1.
long long readWithLibmdb(const QString& path) {
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb) return -1;
    mdb_read_catalog(mdb, MDB_TABLE);
    MdbTableDef* t = mdb_read_table_by_name(mdb, const_cast<gchar*>(kTable), MDB_TABLE);
    mdb_read_columns(t);
    mdb_rewind_table(t);
    std::vector<std::vector<char>> bound(t->num_cols, std::vector<char>(MDB_BIND_SIZE));
    std::vector<int> lengths(t->num_cols);
    for (unsigned int i = 0; i < t->num_cols; ++i)
        mdb_bind_column(t, static_cast<int>(i) + 1, bound[i].data(), &lengths[i]);
    long long rows = 0;
    while (mdb_fetch_row(t))
        ++rows;
    mdb_free_tabledef(t);
    mdb_close(mdb);
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    long long rows = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else
            rows = std::atoll(argv[i]);
    }
    const QString here = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath();
    const QString seed = QStringLiteral(ZUK_JET_TEST_FILE);
    const QString big = here + QStringLiteral("/big_%1.mdb").arg(rows);
    if (!QFileInfo::exists(big)) {
        QElapsedTimer t;
        t.start();
        if (!sample::growJetFile(seed, kTable, big, rows)) {
            std::fprintf(stderr, "could not grow %s\n", qPrintable(seed));
            return 1;
        }
        std::printf("made %s in %.1f s\n", qPrintable(big), t.elapsed() / 1000.0);
    }
    const long long counted = readWithLibmdb(big);
    std::printf("%s: %lld rows, %.1f MB\n", qPrintable(big), counted, QFileInfo(big).size() / 1048576.0);

    std::vector<double> reading, converting;
    const QString converter = QStringLiteral(ZUK_IMPORT_MDB);
    const QString target = here + QStringLiteral("/big_%1.sqlite").arg(rows);
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer t;
        t.start();
        readWithLibmdb(big);
        reading.push_back(t.elapsed() / 1000.0);
        t.restart();
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(converter, {QStringLiteral("--replace"), big, target});
        if (!p.waitForFinished(-1) || p.exitCode() != 0) {
            std::fprintf(stderr, "import_mdb failed:\n%s\n", p.readAllStandardOutput().constData());
            return 1;
        }
        converting.push_back(t.elapsed() / 1000.0);
    }
    const double r = median(reading), c = median(converting);
    std::printf("%lld rows | median of %d: libmdb reading %.2f s | import_mdb %.2f s | ratio %.2f | %.0f rows/s\n",
                counted, repeat, r, c, c / r, counted / c);
    return 0;
}

// A failing disk under the real run and under the converter: every write, sync and truncate of a
// whole run failed in turn (once, or from then on; an I/O error or a full disk), with the operator
// trying again three times or giving up at once. After each: the file intact, every article all
// old or all new, the summary counting exactly the articles whose new prices are in the file,
// nothing counted lost, no box blaming another program for what the disk did, and the history of
// prices in agreement with the prices (every new price has its history row, and no history row
// names a price that is not in the file).
#include "BoxAnswerer.h"
#include "FaultyVfs.h"
#include "TestDatabase.h"
#include "forms/main/frmPrecioCoste.h"
#include "platform/ado/writes/ChangeLog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>
#include <map>
#include <sqlite3.h>

using namespace testing;
using forms::frmPrecioCoste;

namespace {

constexpr int kArticles = 300;
using Prices = std::array<QVariant, 5>;

// What the file holds, read as the next program to open it would (a hot journal rolled back).
struct FileState {
    QString integrity;
    int updated = 0;     // articles holding all their new prices
    QStringList mixed;   // articles holding some new prices and some old
    QStringList foreign; // articles holding prices neither old nor new
    QStringList history; // where the history of prices and the prices disagree
};

std::map<QString, Prices> readPrices(const QString& path, QString* integrity = nullptr) {
    std::map<QString, Prices> prices;
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt* st = nullptr;
    if (integrity) {
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
        *integrity = sqlite3_step(st) == SQLITE_ROW
                         ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
                         : QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(st);
    }
    sqlite3_prepare_v2(db, "SELECT CODARTI, costesiniva, ultimopreciocoste, pvp1, pvp2, pvp3 FROM tblArticulos", -1,
                       &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
        Prices p;
        for (int i = 0; i < 5; ++i)
            p[i] =
                sqlite3_column_type(st, i + 1) == SQLITE_NULL ? QVariant() : QVariant(sqlite3_column_double(st, i + 1));
        prices[QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))] = p;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return prices;
}

// Every user table's name and row count in an SQLite file, as one text (empty: unreadable).
QByteArray tableRows(const QString& path) {
    sqlite3* db = nullptr;
    QByteArray said;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name", -1, &st, nullptr);
        QList<QByteArray> names;
        while (st && sqlite3_step(st) == SQLITE_ROW)
            names << reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
        for (const QByteArray& name : names) {
            const QByteArray sql = "SELECT count(*) FROM \"" + QByteArray(name).replace("\"", "\"\"") + "\"";
            sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
            if (st && sqlite3_step(st) == SQLITE_ROW)
                said += name + ':' + QByteArray::number(sqlite3_column_int64(st, 0)) + ' ';
            sqlite3_finalize(st);
        }
    }
    sqlite3_close(db);
    return said;
}

// The history's changes in the file, by article code: the values replaced, then those written.
std::map<QString, std::pair<Prices, Prices>> readHistory(const QString& path) {
    std::map<QString, std::pair<Prices, Prices>> rows;
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt* pieces = nullptr;
    sqlite3_stmt* article = nullptr;
    sqlite3_prepare_v2(db, "SELECT CODARTI FROM tblArticulos WHERE rowid = ?", -1, &article, nullptr);
    if (sqlite3_prepare_v2(db, "SELECT changes FROM actualizapvp_changes ORDER BY id", -1, &pieces, nullptr) ==
        SQLITE_OK)
        while (sqlite3_step(pieces) == SQLITE_ROW) {
            const QByteArray blob(static_cast<const char*>(sqlite3_column_blob(pieces, 0)),
                                  sqlite3_column_bytes(pieces, 0));
            ado::ChangeLog::forEachRow(blob, 1, 5, [&](long long rowid, const std::vector<ado::ChangeLog::Value>& v) {
                std::pair<Prices, Prices> r;
                // The prices before, the code, the prices after; a number may come as an integer.
                auto price = [&](std::size_t i) {
                    const ado::ChangeLog::Value& p = v[i];
                    return p.kind == ado::ChangeLog::Value::Real      ? QVariant(p.real)
                           : p.kind == ado::ChangeLog::Value::Integer ? QVariant(double(p.integer))
                                                                      : QVariant();
                };
                for (std::size_t i = 0; i < 5; ++i) {
                    r.first[i] = price(i);
                    r.second[i] = price(6 + i);
                }
                // Filed under the article its row number names: a change of another row is no
                // history of this article.
                const QString code = QString::fromUtf8(v[5].bytes);
                sqlite3_bind_int64(article, 1, rowid);
                const QString at =
                    sqlite3_step(article) == SQLITE_ROW
                        ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(article, 0)))
                        : QString();
                sqlite3_reset(article);
                rows[code == at ? code : QStringLiteral("(row of %1) ").arg(at) + code] = r;
            });
        }
    sqlite3_finalize(pieces);
    sqlite3_finalize(article);
    sqlite3_close(db);
    return rows;
}

bool allOld(const Prices& p) {
    return std::all_of(p.begin(), p.end(), [](const QVariant& v) { return v.isNull(); });
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestDiskFaults : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> database_;
    QByteArray pristine_;
    std::map<QString, Prices> new_; // every article with entries, as a run without faults leaves it
    std::array<int, 3> clean_{};    // writes, syncs and truncates of a run without faults
    std::array<int, 3> sliced_{};   // the same, flushing while the run works

    void restore() {
        QFile::remove(database_->path + QStringLiteral("-journal"));
        QFile f(database_->path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(pristine_) == pristine_.size());
    }

    FileState stateOf(const QString& path) {
        FileState s;
        const auto history = readHistory(path);
        for (const auto& [code, prices] : readPrices(path, &s.integrity)) {
            const auto kept = history.find(code);
            const bool agrees =
                kept == history.end() ? allOld(prices) : allOld(kept->second.first) && kept->second.second == prices;
            if (!agrees) s.history << code;
            const auto expected = new_.find(code);
            if (expected == new_.end()) {
                if (!allOld(prices)) s.foreign << code;
                continue;
            }
            if (prices == expected->second)
                ++s.updated;
            else if (!allOld(prices))
                (std::any_of(prices.begin(), prices.end(), [](const QVariant& v) { return v.isNull(); }) ? s.mixed
                                                                                                         : s.foreign)
                    << code;
        }
        return s;
    }

    // A run with the fault planned; the operator retries three times or gives up at once.
    void trial(const faults::Plan& plan, bool retry, bool inSlices, const QString& trial) {
        restore();
        faults::arm(plan);
        int summary = -1;
        FileState atSummary;
        bool fired = false;
        BoxAnswerer c;
        int retries = 0, goneOn = 0;
        bool left = false;
        c.otherwise([&](QDialog* box) {
            const BoxAnswerer::Box& b = c.boxes.back();
            if (b.text.startsWith(QStringLiteral("Proceso finalizado"))) {
                // The disk mends as the summary shows: what it counts is what the file holds.
                fired = faults::fired();
                faults::disarm();
                const auto m = QRegularExpression(QStringLiteral("Actualizados : \\t(-?\\d+)$")).match(b.text);
                summary = m.hasMatch() ? m.captured(1).toInt() : -2;
                atSummary = stateOf(database_->path);
                clickOn(QStringLiteral("Aceptar"))(box);
            } else if (b.buttons.contains(QStringLiteral("Reintentar"))) {
                const bool again = retry && retries < 3;
                retries = again ? retries + 1 : 0;
                clickOn(again ? QStringLiteral("Reintentar") : QStringLiteral("Cancelar"))(box);
            } else if (b.buttons.contains(QStringLiteral("Continuar"))) {
                // An article's step failed (the file cannot be read while the disk fails): the
                // operator goes on three times, then leaves the run.
                left = ++goneOn > 3;
                clickOn(left ? QStringLiteral("Salir") : QStringLiteral("Continuar"))(box);
            } else {
                clickOn(b.buttons.value(0))(box);
            }
        });
        {
            frmPrecioCoste f;
            if (inSlices) QTimer::singleShot(0, &f, [&f] { flushInSlices(f); });
            f.cmdActualizar->click();
        } // the window closes: what still waits is written now that the disk works
        fired = fired || faults::fired();
        faults::disarm();
        QVERIFY2(fired, qPrintable(trial + QStringLiteral(": the fault never fired")));
        QVERIFY2(summary >= 0 || left, qPrintable(trial + QStringLiteral(": no summary (%1)").arg(summary)));
        if (summary >= 0) {
            QVERIFY2(atSummary.integrity == QLatin1String("ok"), qPrintable(trial + ": " + atSummary.integrity));
            QVERIFY2(atSummary.mixed.isEmpty() && atSummary.foreign.isEmpty(),
                     qPrintable(trial + QStringLiteral(": half-written articles ") +
                                (atSummary.mixed + atSummary.foreign).join(u' ')));
            QVERIFY2(atSummary.history.isEmpty(),
                     qPrintable(trial + QStringLiteral(": history and prices disagree for ") +
                                atSummary.history.join(u' ')));
            QVERIFY2(summary == atSummary.updated,
                     qPrintable(trial + QStringLiteral(": the summary says %1 updated, the file holds %2")
                                            .arg(summary)
                                            .arg(atSummary.updated)));
        }
        for (const BoxAnswerer::Box& b : c.boxes)
            QVERIFY2(!b.text.contains(QStringLiteral("otro programa")),
                     qPrintable(trial + QStringLiteral(": a box blamed another program:\n") + b.text));
        const FileState after = stateOf(database_->path);
        QVERIFY2(after.integrity == QLatin1String("ok"), qPrintable(trial + ": " + after.integrity));
        QVERIFY2(after.mixed.isEmpty() && after.foreign.isEmpty(), qPrintable(trial + ": half-written at the end"));
        QVERIFY2(after.history.isEmpty(),
                 qPrintable(trial + QStringLiteral(": history and prices disagree for ") + after.history.join(u' ')));
        // Nothing counted is lost: once the disk works, everything waiting reaches the file; and
        // where no article's step failed, every article is new.
        const bool stepFailed = std::any_of(c.boxes.begin(), c.boxes.end(), [](const BoxAnswerer::Box& b) {
            return b.buttons.contains(QStringLiteral("Continuar"));
        });
        QVERIFY2(after.updated >= summary && (stepFailed || after.updated == int(new_.size())),
                 qPrintable(trial + QStringLiteral(": %1 of %2 articles new at the end, %3 counted")
                                        .arg(after.updated)
                                        .arg(new_.size())
                                        .arg(summary)));
        QVERIFY2(faults::openFiles() == 0, qPrintable(trial + ": a file left open"));
    }

    // Once the run has opened the file, its writes go to the file while it works, in slices of
    // their own transactions, as they do on a big catalogue.
    static void flushInSlices(frmPrecioCoste& f) {
        if (!f.cnDatos_) return;
        f.cnDatos_->writes().setFlushInterval(3600 * 1000);
        f.cnDatos_->writes().setFlushRows(50);
        f.cnDatos_->writes().setFlushSlice(3600 * 1000); // each flush one transaction, however slow the machine
    }

private slots:
    void initTestCase() {
        faults::install();
        database_ = std::make_unique<TestDatabase>();
        database_->sql(QStringLiteral("PRAGMA journal_mode=TRUNCATE"));
        // Articles in another order than their codes, a tenth without entries, two entries for some.
        QString sql = QStringLiteral("BEGIN;");
        for (int i = 0; i < kArticles; ++i) {
            const QString code = QStringLiteral("A%1").arg((i * 7919) % kArticles, 4, 10, QLatin1Char('0'));
            sql += QStringLiteral("INSERT INTO tblArticulos (CODARTI, NOMARTI, FAMILIA, margen1, margen2, margen3) "
                                  "VALUES ('%1', 'Artículo %1', 'F', %2, 20, 30);")
                       .arg(code)
                       .arg(i % 40);
            if (i % 10 == 9) continue;
            sql += QStringLiteral("INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) "
                                  "VALUES ('%1', '2024-01-01', %2, %3);")
                       .arg(code)
                       .arg(10 + i)
                       .arg(i % 15);
            if (i % 3 == 0)
                sql += QStringLiteral("INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) "
                                      "VALUES ('%1', '2025-06-01', %2, 0);")
                           .arg(code)
                           .arg(20 + i);
        }
        database_->sql(sql + QStringLiteral("COMMIT;"));
        pristine_ = bytesOf(database_->path);

        // A run without faults: what it writes, and how many operations it takes.
        faults::arm({});
        {
            frmPrecioCoste f;
            BoxAnswerer c;
            c.press("Aceptar");
            f.cmdActualizar->click();
        }
        for (const faults::Op op : {faults::Op::Write, faults::Op::Sync, faults::Op::Truncate})
            clean_[static_cast<std::size_t>(op)] = faults::count(op);
        for (const auto& [code, prices] : readPrices(database_->path))
            if (!allOld(prices)) new_[code] = prices;
        QCOMPARE(int(new_.size()), kArticles - kArticles / 10);
        QVERIFY2(clean_[0] > 4 && clean_[1] >= 2 && clean_[2] >= 1,
                 qPrintable(QStringLiteral("a run wrote %1 times, synced %2, truncated %3")
                                .arg(clean_[0])
                                .arg(clean_[1])
                                .arg(clean_[2])));
        qInfo("a run without faults: %d writes, %d syncs, %d truncates", clean_[0], clean_[1], clean_[2]);
        // The same, flushing while it works.
        restore();
        faults::arm({});
        {
            frmPrecioCoste f;
            BoxAnswerer c;
            c.press("Aceptar");
            QTimer::singleShot(0, &f, [&f] { flushInSlices(f); });
            f.cmdActualizar->click();
        }
        for (const faults::Op op : {faults::Op::Write, faults::Op::Sync, faults::Op::Truncate})
            sliced_[static_cast<std::size_t>(op)] = faults::count(op);
        QVERIFY2(sliced_[2] > clean_[2], "the run did not flush while it worked");
        qInfo("flushing in slices: %d writes, %d syncs, %d truncates", sliced_[0], sliced_[1], sliced_[2]);
    }
    void cleanupTestCase() { database_.reset(); }

    void run_everyFaultInTurn_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<bool>("lasting");
        QTest::addColumn<bool>("full");
        QTest::addColumn<bool>("retry"); // "Reintentar" three times, then "Cancelar"; or "Cancelar" at once
        const char* names[] = {"write", "sync", "truncate"};
        for (int op = 0; op < 3; ++op)
            for (const bool lasting : {false, true})
                for (const bool full : {false, true})
                    for (const bool retry : {true, false}) {
                        if (full && op != 0) continue; // a full disk shows in writes
                        QTest::addRow("%s, %s, %s, %s", names[op], lasting ? "lasting" : "once",
                                      full ? "disk full" : "I/O error", retry ? "retried" : "given up")
                            << op << lasting << full << retry;
                    }
    }
    void run_everyFaultInTurn() {
        QFETCH(int, op);
        QFETCH(bool, lasting);
        QFETCH(bool, full);
        QFETCH(bool, retry);
        const int operations = clean_[static_cast<std::size_t>(op)];
        for (int nth = 1; nth <= operations && !QTest::currentTestFailed(); ++nth)
            trial({static_cast<faults::Op>(op), nth, lasting, full}, retry, false,
                  QStringLiteral("fault at operation %1 of %2").arg(nth).arg(operations));
    }

    void run_whileFlushingInSlices_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<bool>("lasting");
        QTest::addColumn<bool>("retry");
        const char* names[] = {"write", "sync", "truncate"};
        for (int op = 0; op < 3; ++op)
            for (const bool lasting : {false, true})
                for (const bool retry : {true, false})
                    QTest::addRow("%s, %s, %s", names[op], lasting ? "lasting" : "once", retry ? "retried" : "given up")
                        << op << lasting << retry;
    }
    void run_whileFlushingInSlices() {
        // The run's writes flushed while it works, in slices of their own transactions: a spread
        // of faults over them.
        QFETCH(int, op);
        QFETCH(bool, lasting);
        QFETCH(bool, retry);
        constexpr int kSpread = 6;
        const int operations = sliced_[static_cast<std::size_t>(op)];
        for (int k = 1; k <= kSpread && !QTest::currentTestFailed(); ++k) {
            const int nth = std::max(1, operations * k / kSpread);
            trial({static_cast<faults::Op>(op), nth, lasting, false}, retry, true,
                  QStringLiteral("fault at operation %1 of %2 (flushing in slices)").arg(nth).arg(operations));
        }
    }

    void converter_everyWriteAndSyncOfTheTarget() {
        // The converter's target on a failing disk: a clear error and no target, or, where the
        // fault left the work whole (a sync retried by the engine, say), the whole target.
        QTemporaryDir dir;
        const QString counted = dir.filePath(QStringLiteral("counted"));
        auto convert = [&](const QString& fault, const QString& target) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ZUK_FAULTY_VFS_PRELOAD));
            env.insert(QStringLiteral("ZUK_FAULT"), fault);
            env.insert(QStringLiteral("ZUK_FAULT_COUNTS"), counted);
            // Built with the sanitizers, the preloaded library brings their runtime in after the program's.
            env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(ZUK_IMPORT_MDB), {QStringLiteral(ZUK_JET_TEST_FILE), target});
            if (!p.waitForFinished(60000)) p.kill();
            p.waitForFinished();
            return std::pair{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                             QString::fromUtf8(p.readAllStandardError())};
        };
        const QString whole = dir.filePath(QStringLiteral("entera.sqlite"));
        QCOMPARE(convert(QStringLiteral("write:0:once:ioerr"), whole).first, 0);
        const QStringList counts = QString::fromUtf8(bytesOf(counted)).split(u' ');
        QCOMPARE(counts.size(), 3);
        const QByteArray rowsWhole = tableRows(whole);
        QVERIFY(!rowsWhole.isEmpty());
        const char* kinds[] = {"write", "sync"};
        for (int k = 0; k < 2; ++k)
            for (int nth = 1; nth <= counts[k].toInt(); ++nth)
                for (const char* how : {"once:ioerr", "lasting:full"}) {
                    const QString fault =
                        QStringLiteral("%1:%2:%3").arg(QLatin1String(kinds[k])).arg(nth).arg(QLatin1String(how));
                    const QString target = dir.filePath(QStringLiteral("destino.sqlite"));
                    const auto [code, said] = convert(fault, target);
                    if (code == 0) {
                        QVERIFY2(tableRows(target) == rowsWhole, qPrintable(fault + ": a target with rows missing"));
                        QFile::remove(target);
                    } else {
                        QVERIFY2(!QFile::exists(target), qPrintable(fault + ": a target left after the failure"));
                        QVERIFY2(!said.trimmed().isEmpty() && !said.contains(QStringLiteral("Caught")),
                                 qPrintable(fault + ": " + said));
                    }
                    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("destino")),
                             QStringList()); // no temporary file left either
                }
    }
};

QTEST_MAIN(TestDiskFaults)
#include "test_disk_faults.moc"

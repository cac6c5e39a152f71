// The run-time's conversions, checked arithmetic and the step runner.
#include "platform/runtime/Arithmetic.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Steps.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>
#include <sys/mount.h>
#include <unistd.h>

using namespace runtime;

class TestConversions : public QObject {
    Q_OBJECT
private slots:
    void numbersToText_fifteenDigits() {
        QCOMPARE(CStr(0.1 + 0.2), QStringLiteral("0.3"));
        QCOMPARE(CStr(108.0), QStringLiteral("108"));
        QCOMPARE(CStr(-3.0), QStringLiteral("-3"));
        QCOMPARE(CStr(-0.0), QStringLiteral("0"));
        QCOMPARE(CStr(123456789012345.0), QStringLiteral("123456789012345"));
        QCOMPARE(CStr(1e15), QStringLiteral("1E+15"));
        QCOMPARE(CStr(1.0 / 3), QStringLiteral("0.333333333333333"));
        QCOMPARE(CStr(2.5e-7), QStringLiteral("2.5E-07"));
        QCOMPARE(CStrSingle(2900.0f), QStringLiteral("2900"));
        QCOMPARE(CStrSingle(0.1f), QStringLiteral("0.1"));
    }

    void textToNumber() {
        QCOMPARE(CDbl(QStringLiteral("012.5")), 12.5);
        QCOMPARE(CDbl(QStringLiteral(" 1.5E+3 ")), 1500.0);
        QCOMPARE(CDbl(QStringLiteral("2D2")), 200.0);
        QCOMPARE(CDbl(QStringLiteral("-3")), -3.0);
        QCOMPARE(CDbl(QStringLiteral("01E-400")), 0.0);
        // What holds no number fails with a type mismatch, also the words strtod would take.
        for (const char* bad : {"", "abc", "0abc", "0-3", "inf", "nan", "0x10", "1,5", "1e", "."}) {
            try {
                CDbl(QString::fromLatin1(bad));
                QFAIL(bad);
            } catch (const Failure& f) {
                QCOMPARE(f.Number(), err::TypeMismatch);
            }
        }
        try {
            CDbl(QStringLiteral("1e400"));
            QFAIL("no overflow");
        } catch (const Failure& f) {
            QCOMPARE(f.Number(), err::Overflow);
            QCOMPARE(f.Description(), QStringLiteral("Desbordamiento"));
        }
    }

    void roundTrip() {
        // What a number writes reads back as the same number within 15 digits.
        for (double x : {0.1, 1e-10, 123.456, 1e300, 98.09475, 99999999999999.9}) {
            const double y = CDbl(CStr(x));
            QVERIFY2(std::fabs(y - x) <= std::fabs(x) * 1e-14, qPrintable(CStr(x)));
        }
    }

    void hashes() {
        QCOMPARE(formatHashes(0.1), QString());
        QCOMPARE(formatHashes(0.0), QString());
        QCOMPARE(formatHashes(99.9), QStringLiteral("100"));
        QCOMPARE(formatHashes(12.5), QStringLiteral("13"));
        QCOMPARE(formatHashes(33.333), QStringLiteral("33"));
        QCOMPARE(formatHashes(1234567.0), QStringLiteral("1234567"));
        QCOMPARE(formatHashes(-12.5), QStringLiteral("-13"));
    }

    void roundingHalfEven() {
        QCOMPARE(CLng(2.5), 2);
        QCOMPARE(CLng(3.5), 4);
        QCOMPARE(CInt(-0.5), int16_t(0));
        QCOMPARE(CInt(32767.4), int16_t(32767));
        QVERIFY_THROWS_EXCEPTION(Failure, CInt(32767.5));
        QVERIFY_THROWS_EXCEPTION(Failure, CInt(-32769));
        QVERIFY_THROWS_EXCEPTION(Failure, CLng(2147483648.0));
    }

    void checkedArithmetic() {
        QCOMPARE(multiplyLong(21474836, 100), 2147483600);
        QVERIFY_THROWS_EXCEPTION(Failure, multiplyLong(21474837, 100));
        QVERIFY_THROWS_EXCEPTION(Failure, addLong(std::numeric_limits<int32_t>::max(), 1));
        QVERIFY_THROWS_EXCEPTION(Failure, multiply(1e308, 10));
        QVERIFY_THROWS_EXCEPTION(Failure, add(1.7e308, 1.7e308));
        try {
            divide(1, 0);
            QFAIL("no failure");
        } catch (const Failure& f) {
            QCOMPARE(f.Number(), err::DivisionByZero);
            QCOMPARE(f.Description(), QStringLiteral("División por cero"));
        }
        try {
            divide(0, 0);
            QFAIL("no failure");
        } catch (const Failure& f) {
            QCOMPARE(f.Number(), err::Overflow);
        }
        QCOMPARE(toSingle(1e6 + 1), 1000001.0f);
        QVERIFY_THROWS_EXCEPTION(Failure, toSingle(1e39));
    }

    void comparisonWithZero() {
        QVERIFY(greaterOrEqual(FieldValue(QStringLiteral("12")), 0));
        QVERIFY(!greaterOrEqual(FieldValue(-1.0), 0));
        QVERIFY(!greaterOrEqual(FieldValue::Null(), 0));
        QVERIFY_THROWS_EXCEPTION(Failure, greaterOrEqual(FieldValue(QStringLiteral("abc")), 0));
    }

    void dates() {
        const Date d = CDate(QStringLiteral("31-12-1899"));
        QCOMPARE(d.serial, 1.0);
        QCOMPARE(dateText(d), QStringLiteral("31/12/1899"));
        QCOMPARE(dateText(Date::fromYmd(2026, 12, 6)), QStringLiteral("06/12/2026"));
        QVERIFY_THROWS_EXCEPTION(Failure, CDate(QStringLiteral("31-02-2020")));
        // Before 30 December 1899 a time still counts forward from midnight: one line, in order.
        Date morning, noon;
        QVERIFY(parseIsoDate(QStringLiteral("1899-12-29 06:00:00"), morning));
        QVERIFY(parseIsoDate(QStringLiteral("1899-12-29 12:00"), noon));
        QCOMPARE(morning.serial, -0.75);
        QVERIFY(morning.serial < noon.serial);
        QCOMPARE(isoDateText(morning), QStringLiteral("1899-12-29 06:00:00"));
        QCOMPARE(dateText(Date{-1.25}), QStringLiteral("28/12/1899 18:00:00"));
        QCOMPARE(textOf(FieldValue::Null()), QString());
        QVERIFY_THROWS_EXCEPTION(Failure, CStr(FieldValue::Null()));
    }

    void files_writtenWholeOrNotAtAll_data() {
        QTest::addColumn<QByteArray>("before"); // what the file held; none when null
        QTest::addColumn<int>("size");          // of what is written, on a file system of 64 KB
        QTest::addRow("new, room") << QByteArray() << 4096;
        QTest::addRow("new, disk full") << QByteArray() << 200 * 1024;
        QTest::addRow("rewritten, room") << QByteArray("imagen anterior") << 4096;
        QTest::addRow("rewritten, disk full") << QByteArray("imagen anterior") << 200 * 1024;
    }
    void files_writtenWholeOrNotAtAll() {
        // A write that runs out of room leaves no half-written file behind, and the file that
        // was there before as it was.
        QFETCH(QByteArray, before);
        QFETCH(int, size);
        if (geteuid() != 0) QSKIP("mounting a small file system needs root");
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        if (mount("tmpfs", folder.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("this machine does not allow mounting a file system here");
        const auto unmount = qScopeGuard([&] { umount2(folder.constData(), MNT_DETACH); });
        const QString path = dir.filePath(QStringLiteral("informe.jpg"));
        if (!before.isNull()) {
            QFile earlier(path);
            QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write(before) == before.size());
        }
        const QByteArray bytes(size, 'j');
        const bool fits = size < 64 * 1024;
        QCOMPARE(writeFile(path, bytes), fits);
        QFile file(path);
        if (fits || !before.isNull()) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), fits ? bytes : before);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 fits || !before.isNull() ? QStringList{QStringLiteral("informe.jpg")} : QStringList());
    }

    void steps_resumeAndJump() {
        // Step 2 fails: the handler resumes at 3, and the value step 2 was to set keeps its contents.
        std::vector<int> done;
        int value = 7;
        int failingStep = 0;
        runSteps(
            1,
            [&](int step) {
                done.push_back(step);
                switch (step) {
                case 1: return 2;
                case 2: value = static_cast<int>(divide(1, 0)); return 3;
                case 3: return 5; // a test jumping over step 4
                case 4: return 5;
                default: return kEnd;
                }
            },
            [&](int step, const Failure&) {
                failingStep = step;
                return step + 1;
            });
        QCOMPARE(done, (std::vector<int>{1, 2, 3, 5}));
        QCOMPARE(value, 7);
        QCOMPARE(failingStep, 2);
    }

    void steps_handlerFailureGoesToCaller() {
        bool arrived = false;
        QVERIFY_THROWS_EXCEPTION(Failure, runSteps(
                                              1, [&](int) -> int { raise(err::Overflow); },
                                              [&](int, const Failure&) -> int {
                                                  arrived = true;
                                                  raise(err::TypeMismatch);
                                              }));
        QVERIFY(arrived);
    }
};

QTEST_GUILESS_MAIN(TestConversions)
#include "test_conversions.moc"

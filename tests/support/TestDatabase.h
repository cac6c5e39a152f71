#pragma once
// A real database in the program's folder, and other programs on it: a writer, a reader that
// keeps its transaction, a lock.
#include <QProcess>
#include <QString>
#include <QVariant>

namespace testing {

QString databasePath(); // veskgestion.mdb in the program's folder

// A real SQLite veskgestion.mdb with the two tables; removed when the helper goes.
class TestDatabase {
public:
    explicit TestDatabase(bool withTables = true);
    ~TestDatabase();
    void sql(const QString& statement) const;
    QVariant value(const QString& query) const;
    void article(const QString& code, const QString& name, const QVariant& m1, const QVariant& m2,
                 const QVariant& m3) const;
    void entry(const QString& code, const QString& entro, const QVariant& pvp, const QVariant& descuento) const;
    const QString path;
};

// Whether another program can take the write lock of the file right now.
bool othersCanWrite(const QString& path);

// Waits up to ms for the process to print that line, while this program's events run. Anything
// else fails the test with what the process printed on both channels and how it ended.
void waitForLine(QProcess& process, const QByteArray& line, int ms);

// Another program holding the database file locked (an exclusive transaction), or only reading it
// (a read transaction, which keeps others from committing), until released.
class Locker {
public:
    enum Mode { Exclusive, Reader };
    // Waits until the lock is taken, unless told not to (then it is taken as soon as it can be).
    explicit Locker(const QString& path, Mode mode = Exclusive, bool waitUntilLocked = true);
    ~Locker();
    void release();

private:
    QProcess process_;
};

} // namespace testing

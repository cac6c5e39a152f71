#pragma once
// Test helpers: a real database in the program's folder, and an answerer of modal boxes.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <deque>
#include <functional>

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

// Answers the modal boxes that open while a test runs: records each box's title, text and
// button captions (left to right), then performs the next queued action on it.
class BoxAnswerer : public QObject {
    Q_OBJECT
public:
    struct Box {
        QString title, text;
        QStringList buttons;
        QString defaultButton;
    };
    using Action = std::function<void(QDialog*)>;

    BoxAnswerer();
    ~BoxAnswerer() override;
    BoxAnswerer& then(Action action);
    BoxAnswerer& press(const QString& caption);
    // What to do with boxes once the queued actions are used up (otherwise they are unexpected).
    BoxAnswerer& otherwise(Action action);
    int pending() const { return static_cast<int>(actions_.size()); }

    std::vector<Box> boxes;
    // Boxes met with no action queued: closed through their first button, and the test fails.
    int unexpected = 0;

private:
    void look();
    Box firstUnexpected_;
    Action otherwise_;
    QTimer timer_;
    std::deque<Action> actions_;
};

// Actions on a box.
BoxAnswerer::Action clickOn(const QString& caption);
BoxAnswerer::Action pressKey(int key);
BoxAnswerer::Action closeWindow();

QStringList captionsLeftToRight(QDialog* box);

} // namespace testing

#pragma once
// An answerer of the modal boxes that open while a test runs.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>

namespace testing {

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

// Presses Escape and the close box, notes whether the box is still open, then does `then`: the
// keys that only some boxes take.
BoxAnswerer::Action tryToEscape(bool& stillOpen, BoxAnswerer::Action then);

} // namespace testing

#include "BoxAnswerer.h"
#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <utility>

namespace testing {

QStringList captionsLeftToRight(QDialog* box) {
    auto buttons = box->findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) {
        return a->mapTo(a->window(), QPoint()).x() < b->mapTo(b->window(), QPoint()).x();
    });
    QStringList r;
    for (auto* b : buttons)
        r << b->text();
    return r;
}

BoxAnswerer::BoxAnswerer() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::look);
    timer_.start();
}

BoxAnswerer::~BoxAnswerer() {
    timer_.stop();
    // A box nobody expected, or an answer that no box took, means the test did not see what it meant to.
    if (unexpected > 0)
        QTest::qFail(qPrintable(QStringLiteral("%1 box(es) nobody expected, the first '%2': %3")
                                    .arg(unexpected)
                                    .arg(firstUnexpected_.title, firstUnexpected_.text)),
                     __FILE__, __LINE__);
    else if (!actions_.empty())
        QTest::qFail(qPrintable(QStringLiteral("%1 answer(s) never used").arg(actions_.size())), __FILE__, __LINE__);
}

BoxAnswerer& BoxAnswerer::then(Action action) {
    actions_.push_back(std::move(action));
    return *this;
}

BoxAnswerer& BoxAnswerer::press(const QString& caption) { return then(clickOn(caption)); }

BoxAnswerer& BoxAnswerer::otherwise(Action action) {
    otherwise_ = std::move(action);
    return *this;
}

void BoxAnswerer::look() {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("atendida").toBool()) return;
    box->setProperty("atendida", true);
    Box c;
    c.title = box->windowTitle();
    if (auto* m = qobject_cast<ui::MessageBox*>(box)) c.text = m->prompt();
    c.buttons = captionsLeftToRight(box);
    for (auto* b : box->findChildren<QPushButton*>())
        if (b->isDefault()) c.defaultButton = b->text();
    boxes.push_back(c);
    if (actions_.empty() && otherwise_) actions_.push_back(otherwise_);
    if (actions_.empty()) {
        if (unexpected++ == 0) firstUnexpected_ = c;
        auto buttons = box->findChildren<QPushButton*>();
        if (!buttons.isEmpty()) buttons.front()->click();
        return;
    }
    Action a = std::move(actions_.front());
    actions_.pop_front();
    // Acting from inside the timer's slot would nest the next box's loop here: act afterwards.
    QPointer<QDialog> p = box;
    QTimer::singleShot(0, box, [a, p] {
        if (p) a(p);
    });
}

BoxAnswerer::Action clickOn(const QString& caption) {
    return [caption](QDialog* box) {
        for (auto* b : box->findChildren<QPushButton*>()) {
            if (b->text() == caption) {
                b->click();
                return;
            }
        }
        // Recorded as a failure of the test; the box is closed all the same, so the test goes on.
        QTest::qFail(qPrintable(QStringLiteral("no button '%1' in the box '%2'").arg(caption, box->windowTitle())),
                     __FILE__, __LINE__);
        if (auto buttons = box->findChildren<QPushButton*>(); !buttons.isEmpty()) buttons.front()->click();
    };
}

BoxAnswerer::Action pressKey(int key) {
    return [key](QDialog* box) { QTest::keyClick(box, static_cast<Qt::Key>(key)); };
}

BoxAnswerer::Action closeWindow() {
    return [](QDialog* box) { box->close(); };
}

BoxAnswerer::Action tryToEscape(bool& stillOpen, BoxAnswerer::Action then) {
    return [&stillOpen, then = std::move(then)](QDialog* box) {
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        QApplication::processEvents();
        stillOpen = box->isVisible();
        then(box);
    };
}

} // namespace testing

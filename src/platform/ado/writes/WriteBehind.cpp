#include "platform/ado/writes/WriteBehind.h"
#include "platform/ado/writes/WriteTarget.h"
#include "platform/runtime/Failure.h"

#include <algorithm>
#include <climits>

namespace ado {

WriteBehind::WriteBehind(WriteTarget& target) : target_(target) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer); // a coarse timer fires early, before the rows are due
    QObject::connect(&timer_, &QTimer::timeout, [this] { flushPoint(); });
}

void WriteBehind::arm(qint64 ms) { timer_.start(static_cast<int>(std::clamp<qint64>(ms, 0, INT_MAX))); }

void WriteBehind::add(int table, long long rowid, const PendingWrites::Write& w) {
    pending_.write(table, rowid, w);
    if (oldestWrite_.isValid()) return;
    oldestWrite_.start();
    dueMs_ = flushMs_;
    arm(flushMs_);
}

void WriteBehind::flushPoint() {
    if (!target_.handle() || pending_.empty() || !oldestWrite_.isValid()) return;
    const qint64 age = oldestWrite_.elapsed();
    const bool inCycle = cycleDone_ < cycle_.size();
    // Slices of a cycle leave the program at least as long to itself as they take, however often
    // it passes a flush point: its window answers between them.
    if (inCycle && lastSlice_.isValid() && lastSlice_.elapsed() < sliceMs_) {
        if (!timer_.isActive()) arm(sliceMs_ - lastSlice_.elapsed());
        return;
    }
    const bool due = age >= dueMs_ || (!backingOff_ && (inCycle || pending_.rows() >= flushRows_));
    if (!due) {
        // Not yet (a timer may fire a little early, or this is a move): the timer is there for
        // when they are due, also if the program goes idle now.
        if (!timer_.isActive()) arm(dueMs_ - age);
        return;
    }
    try {
        flushSlice(kPeriodicBusyMs);
        backingOff_ = false;
    } catch (const runtime::Failure&) {
        // Another program holds the file: the rows stay pending, and are tried again on time.
        // The step that got here did its own work and does not fail.
        backOff();
    }
}

void WriteBehind::backOff() {
    dueMs_ = (oldestWrite_.isValid() ? oldestWrite_.elapsed() : 0) + kRetryMs;
    if (!oldestWrite_.isValid()) oldestWrite_.start();
    backingOff_ = true;
    arm(kRetryMs);
}

void WriteBehind::flush(int busyMs) {
    if (!target_.handle() || pending_.empty()) return;
    cycle_.clear();
    cycleDone_ = 0;
    try {
        writer_.write(pending_.inFileOrder(), 0, busyMs, -1);
    } catch (const runtime::Failure&) {
        backOff();
        throw;
    }
    backingOff_ = false;
    afterWrite();
}

void WriteBehind::flushSlice(int busyMs) {
    if (cycleDone_ >= cycle_.size()) {
        cycle_ = pending_.inFileOrder();
        cycleDone_ = 0;
    }
    cycleDone_ = writer_.write(cycle_, cycleDone_, busyMs, sliceMs_);
    lastSlice_.start();
    if (cycleDone_ >= cycle_.size()) {
        // The rows written again while the cycle ran are few: what the others held is let go.
        cycle_ = {};
        cycleDone_ = 0;
        pending_.compact();
    }
    afterWrite();
}

void WriteBehind::afterWrite() {
    if (pending_.empty()) {
        oldestWrite_.invalidate();
        dueMs_ = flushMs_;
        timer_.stop();
    } else if (cycleDone_ < cycle_.size()) {
        // The rest of the cycle is written at the next flush points, or on time if the program is idle.
        arm(sliceMs_);
    } else {
        // Rows written while the cycle ran are due in their own time.
        oldestWrite_.start();
        dueMs_ = flushMs_;
        arm(flushMs_);
    }
}

void WriteBehind::leaveOut(int table, long long rowid) {
    pending_.erase(table, rowid);
    report_.leftOut(1);
}

void WriteBehind::beforeWait(bool programEnds) {
    try {
        flush(WriteTarget::kBusyMs);
    } catch (const runtime::Failure& f) {
        report_.tellOperator(); // what earlier flushes found is told all the same
        throw WriteReport::withAdvice(f, programEnds);
    }
    report_.tellOperator();
}

void WriteBehind::discard() {
    pending_.clear();
    cycle_ = {};
    cycleDone_ = 0;
    oldestWrite_.invalidate();
    timer_.stop();
}

void WriteBehind::stop() {
    timer_.stop();
    writer_.clear();
}

} // namespace ado

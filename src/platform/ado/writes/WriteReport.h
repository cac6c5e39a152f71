#pragma once
// What the operator hears of the pending writes, and when: how many rows reached the file and how
// many were left out because another program changed them since they were read; which rows the
// file refused, and why (by their key); what a failed flush means and what the operator can do.
#include "platform/runtime/Failure.h"

#include <QString>
#include <cstddef>
#include <vector>

namespace ado {

class WriteReport {
public:
    void written(std::size_t rows); // reached the file
    void leftOut(std::size_t rows); // another program changed or deleted them: not written
    void refused(int table, long long rowid, const QString& row, const QString& reason);

    // Rows whose values reached the file since the connection opened.
    std::size_t writtenRows() const { return written_; }
    // Rows the file refused since the connection opened.
    std::size_t refusedRows() const { return refusals_.size(); }

    // Update's own row was refused by the flush that Update triggered: that is Update's failure.
    void raiseIfRefused(int table, long long rowid);
    // What the operator has not heard yet: rows left out, then rows refused (one box each).
    void tellOperator();
    // A flush failed with `pendingRows` rows still pending.
    [[noreturn]] static void raiseNotSaved(const runtime::Failure& f, std::size_t pendingRows);
    // The flush before a wait failed: the failure, with what the operator can do about it.
    static runtime::Failure withAdvice(const runtime::Failure& f, bool programEnds);

    static constexpr int kNamedRefusals = 20; // a box the operator can read: the rest are counted

private:
    struct Refusal {
        int table;
        long long rowid;
        QString row; // as the operator knows it: its key
        QString reason;
        bool told = false;
    };
    std::vector<Refusal> refusals_;
    std::size_t written_ = 0;
    std::size_t writtenUntold_ = 0, leftOutUntold_ = 0; // since the operator last heard of rows left out
};

} // namespace ado

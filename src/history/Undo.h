#pragma once
// Reading the history of the prices (PriceHistory.h) and putting a run's replaced prices back.
//
// A run is put back in one transaction, and only where the article still holds exactly what that
// run wrote: an article changed since (by hand, by another program) or deleted is left as it is,
// and named with the reason. Runs are put back from the newest: while a later run that wrote
// articles is in force (not undone), it wrote its own prices over this one's, even where they were
// the same, and nothing is put back. The run is then marked undone, and is not put back twice.
#include "platform/runtime/FieldValue.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace ado {
class Connection;
}

namespace history {

struct RunInfo {
    long long number = 0;
    QString moment; // to the second, as the operator reads it
    QString user;
    long long articles = 0; // written by the run
    long long changed = 0;  // whose prices it changed: its history rows
    QString undone;         // when it was undone; empty if it was not
};

// Whether the file keeps a history of prices at all.
bool hasHistory(ado::Connection& cn);
std::vector<RunInfo> runs(ado::Connection& cn);
std::optional<RunInfo> run(ado::Connection& cn, long long number);

// One line of a run's changes, as it stands in the history.
struct Change {
    QString code;
    QString name;                                   // the article's name now; empty if it is not there any more
    runtime::FieldValue oldValues[5], newValues[5]; // in the order of kPriceColumns
};
// Each of a run's changes, by the order of the articles in the file.
void forEachChange(ado::Connection& cn, long long number, const std::function<void(const Change&)>& f);

struct LeftAlone {
    QString code;
    QString why;
};
struct UndoResult {
    long long restored = 0;
    std::vector<LeftAlone> leftAlone;
    bool interrupted = false; // stopped on request: nothing was changed
    long long laterRun = 0;   // the newest later run in force: nothing was put back
};
// Puts run `number`'s replaced prices back, as above, in one transaction (the caller's:
// BEGIN IMMEDIATE before, COMMIT after). `progress(done, total)` is called as it goes; when
// `stop()` becomes true it gives up at once with `interrupted` set, for the caller to roll back.
UndoResult undo(ado::Connection& cn, long long number, const std::function<void(long long, long long)>& progress,
                const std::function<bool()>& stop);

} // namespace history

#pragma once
// The history of the prices a run writes: for every article whose cost or sale prices a run
// changes, the five values it replaced (costesiniva, ultimopreciocoste, pvp1, pvp2, pvp3) and the
// five it wrote, with the article's row and code; and for every run, its moment, the machine's
// user and how many articles it wrote. The last kKeptRuns runs are kept, the oldest dropped first.
//
// It lives in the database file itself, in tables of its own (the shop's tables are never
// changed), so that it travels with every copy and backup of the file. The connection that writes
// the prices logs what its writes change (ado::ChangeLog) and the history stores that log in the
// same transaction as the prices, so that a kill, a failing disk or a refusal at any point leaves
// history and prices in agreement. An article rewritten with the values it already held costs no
// history, only its count in the run.
//
// The changes are stored a piece at a time (ado::Connection::kLoggedRows articles a piece, fewer
// at the end of a transaction), each piece one row: one row an article cost the run a third
// of its time on large catalogues. A piece holds, for each article, its row number, its code, the
// five values replaced and the five written, in the change log's encoding. The earlier history,
// one row an article (kPricesTable), is still read and dropped with its runs.
//
// Size: about 110 bytes a changed article a run: a run that changes the prices of 20,000
// articles adds some 2.2 MB, and 20 such runs keep about 44 MB.
#include <QString>

namespace ado {
class Connection;
}

namespace history {

inline constexpr int kKeptRuns = 20;
inline constexpr auto kRunsTable = "actualizapvp_runs";
inline constexpr auto kChangesTable = "actualizapvp_changes";
// The history as the earlier version kept it, one row an article, and its view.
inline constexpr auto kPricesTable = "actualizapvp_prices";
inline constexpr auto kChangesView = "actualizapvp_price_changes";

// A piece's key is its run and its number in the run in one integer, run << 40 | piece: a run's
// pieces are one range of keys, in the order they were written. (The earlier history's rows were
// keyed run << 40 | the article's row number.)
inline constexpr int kPieceBits = 40;
inline constexpr long long keyOf(long long run, long long piece) { return (run << kPieceBits) | piece; }

// The five columns a run writes, in the order the history keeps them.
inline constexpr const char* kPriceColumns[] = {"costesiniva", "ultimopreciocoste", "pvp1", "pvp2", "pvp3"};

// From now on, the prices this connection writes to the articles are kept in the history, as one
// run (moment and user taken now). The history's tables are made in the first transaction that
// writes, if the file has none yet. Never fails: where the articles' table is not there, the run
// fails where it reads it.
void recordRun(ado::Connection& connection);

// The machine's user, as the history names it.
QString userName();

// Whether the file has that one of the history's tables.
bool hasTable(ado::Connection& cn, const char* name);

} // namespace history

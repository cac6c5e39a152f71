#pragma once
// The history of the prices a run writes: for every article whose cost or sale prices a run
// changes, the five values it replaced (costesiniva, ultimopreciocoste, pvp1, pvp2, pvp3) and the
// five it wrote, with the article's row and code; and for every run, its moment, the machine's
// user and how many articles it wrote. The last kKeptRuns runs are kept, the oldest dropped first.
//
// It lives in the database file itself, in two tables of its own (the shop's tables are never
// changed), so that it travels with every copy and backup of the file. It is written by a
// trigger of the connection that writes the prices (a TEMP trigger: no other program sees it), so
// each history row is written in the same transaction as the prices it names: a kill, a failing
// disk or a refusal at any point leaves history and prices in agreement. An article rewritten
// with the values it already held costs no history row, only its count in the run.
//
// Size: about 120 bytes a changed article a run (its code, ten values and the keys): a run that
// changes the prices of 20,000 articles adds some 2.4 MB, and 20 such runs keep about 48 MB.
#include <QString>

namespace ado {
class Connection;
}

namespace history {

inline constexpr int kKeptRuns = 20;
inline constexpr auto kRunsTable = "actualizapvp_runs";
inline constexpr auto kPricesTable = "actualizapvp_prices";
// The same rows with their run and article as columns of their own, for people and spreadsheets.
inline constexpr auto kChangesView = "actualizapvp_price_changes";

// A history row's key is its run and the article's row number in one integer, run << 40 |
// article: rows are added at the end of the table as a run writes articles in file order, which
// costs the engine half what a key of two columns costs. An article whose row number is negative
// or 2^40 or more cannot be kept: the file refuses its write ("datatype mismatch", told to the
// operator by its code like any refusal), and no price is written without its history.
inline constexpr int kArticleBits = 40;
inline constexpr long long keyOf(long long run, long long article) { return (run << kArticleBits) | article; }

// The five columns a run writes, in the order the history keeps them.
inline constexpr const char* kPriceColumns[] = {"costesiniva", "ultimopreciocoste", "pvp1", "pvp2", "pvp3"};

// From now on, the prices this connection writes to the articles are kept in the history, as one
// run (moment and user taken now). The history's tables are made in the first transaction that
// writes, if the file has none yet. Never fails: where the articles' table is not there, the run
// fails where it reads it.
void recordRun(ado::Connection& connection);

// The machine's user, as the history names it.
QString userName();

} // namespace history

#pragma once
// A big Jet file for benchmarks and tests, grown from a real one: no program here writes Jet
// files. libmdb's own writer fills the table's first data page with copies of its first row;
// that page is then copied again and again at the end of the file, and the table's page map is
// marked as a kind libmdb does not know, so that libmdb finds the pages by reading them all (its
// way with such maps). Every row is a real Jet row. Only for Jet 4 files.
#include <QString>

namespace sample {

// A copy of `seed` at `path` whose table `table` has at least `rows` rows; false if it cannot.
bool growJetFile(const QString& seed, const char* table, const QString& path, long long rows);

} // namespace sample

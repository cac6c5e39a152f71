#pragma once
// The sample stock database: articles with Spanish names, their purchase entries, some articles
// without entries, some Null margins and discounts. Deterministic for a given size.
#include <cstdint>
#include <string>

namespace muestra {

struct Tamano {
    int64_t articlesRecordset = 300;
    int64_t entriesRecordset = 1500; // spread over about 90 % of the articles
};

// Writes a new database at `ruta` (which must not exist yet). Returns an empty text on success,
// else what went wrong.
std::string generar(const std::string& ruta, const Tamano& tamano);

} // namespace muestra

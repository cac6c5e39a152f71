#pragma once
// The sample stock database: articles with Spanish names, their purchase entries, some articles
// without entries, some Null margins and discounts. Deterministic for a given size.
#include <cstdint>
#include <string>

namespace sample {

struct Size {
    int64_t articles = 300;
    int64_t entries = 1500; // spread over about 90 % of the articles
};

// Writes a new database at `path` (which must not exist yet). Returns an empty text on success,
// else what went wrong.
std::string generate(const std::string& path, const Size& size);

} // namespace sample

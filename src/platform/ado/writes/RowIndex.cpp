#include "platform/ado/writes/RowIndex.h"

#include <algorithm>
#include <bit>

namespace ado {

void RowIndex::insert(long long rowid, uint32_t slot) {
    if ((size_ + 1) * 2 > cells_.size()) grow(); // at most half full: probes stay short
    std::size_t i = home(rowid);
    while (cells_[i].slot != kFree)
        i = (i + 1) & mask_;
    cells_[i] = {rowid, slot};
    mark(rowid);
    ++size_;
}

bool RowIndex::erase(long long rowid) {
    if (cells_.empty()) return false;
    std::size_t i = home(rowid);
    for (;; i = (i + 1) & mask_) {
        if (cells_[i].slot == kFree) return false;
        if (cells_[i].rowid == rowid) break;
    }
    // Backward shift: the rows after the hole that belong before it move into it, so that every
    // row stays reachable from its home without tombstones.
    for (std::size_t j = i;;) {
        j = (j + 1) & mask_;
        if (cells_[j].slot == kFree) break;
        const std::size_t k = home(cells_[j].rowid);
        const bool staysPut = i <= j ? (i < k && k <= j) : (i < k || k <= j);
        if (staysPut) continue;
        cells_[i] = cells_[j];
        i = j;
    }
    cells_[i].slot = kFree;
    --size_;
    return true;
}

void RowIndex::grow() {
    std::vector<Cell> old = std::move(cells_);
    const std::size_t capacity = old.empty() ? kFirstCapacity : old.size() * 2;
    cells_.assign(capacity, Cell{0, kFree});
    mask_ = capacity - 1;
    shift_ = 64 - std::countr_zero(capacity);
    const std::size_t bits = capacity * 8;
    maybe_.assign(bits / 64, 0);
    bitShift_ = 64 - std::countr_zero(bits);
    size_ = 0;
    for (const Cell& c : old)
        if (c.slot != kFree) insert(c.rowid, c.slot);
}

void RowIndex::clear() {
    if (size_) std::fill(cells_.begin(), cells_.end(), Cell{0, kFree});
    std::fill(maybe_.begin(), maybe_.end(), 0); // rows erased one by one left their bits
    size_ = 0;
}

} // namespace ado

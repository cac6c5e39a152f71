#pragma once
// Row id -> a number (the pending writes' slot of the row), by open addressing: one probe of a
// flat array where a node-based map chases a pointer, on every row a recordset reads while
// writes are pending.
//
// Linear probing, at most half full; an erase shifts the rows after the hole back into it (no
// tombstones), so every row stays reachable from its home cell. A bit per hash, set on insert,
// tells at once that most rows a run reads are not here.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace ado {

class RowIndex {
public:
    const uint32_t* find(long long rowid) const {
        if (cells_.empty()) return nullptr;
        if (!(maybe_[bitOf(rowid) >> 6] & (uint64_t(1) << (bitOf(rowid) & 63)))) return nullptr;
        for (std::size_t i = home(rowid);; i = (i + 1) & mask_) {
            const Cell& c = cells_[i];
            if (c.slot == kFree) return nullptr;
            if (c.rowid == rowid) return &c.slot;
        }
    }
    uint32_t* find(long long rowid) { return const_cast<uint32_t*>(std::as_const(*this).find(rowid)); }
    void insert(long long rowid, uint32_t slot); // a rowid not there yet
    bool erase(long long rowid);
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t capacity() const { return cells_.size(); }
    void clear(); // keeps the array for the next rows
    template <typename F> void forEach(F&& f) const {
        for (const Cell& c : cells_)
            if (c.slot != kFree) f(c.rowid, c.slot);
    }
    template <typename F> void forEachSlot(F&& f) {
        for (Cell& c : cells_)
            if (c.slot != kFree) f(c.slot);
    }
    // The cell where a row id's probe starts: rows with the same home collide.
    std::size_t home(long long rowid) const {
        return static_cast<std::size_t>((static_cast<uint64_t>(rowid) * 0x9E3779B97F4A7C15ull) >> shift_) & mask_;
    }

    static constexpr std::size_t kFirstCapacity = 1024;

private:
    static constexpr uint32_t kFree = UINT32_MAX;
    struct Cell {
        long long rowid;
        uint32_t slot;
    };
    uint64_t bitOf(long long rowid) const {
        return (static_cast<uint64_t>(rowid) * 0xD6E8FEB86659FD93ull) >> bitShift_;
    }
    void grow();
    void mark(long long rowid) { maybe_[bitOf(rowid) >> 6] |= uint64_t(1) << (bitOf(rowid) & 63); }

    std::vector<Cell> cells_;
    // Eight bits a cell, so that few rows that are not here share a bit with one that is.
    std::vector<uint64_t> maybe_;
    int bitShift_ = 64;
    std::size_t mask_ = 0;
    int shift_ = 0;
    std::size_t size_ = 0;
};

} // namespace ado

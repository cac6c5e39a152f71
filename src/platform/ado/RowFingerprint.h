#pragma once
// A 64-bit fingerprint of some stored values of a row: each value's storage class and its exact
// contents (an integer, a real's bits, a text's or a blob's bytes). The recordset takes it of
// the values it read; the engine computes the same over the file's values, through the SQL
// function kFunction, in the statement that writes the row, so that a row is written only while
// it still holds what was read.
#include <cstdint>
#include <cstring>

struct sqlite3;

namespace ado {

class RowFingerprint {
public:
    static constexpr const char* kFunction = "zuk_row_fingerprint";

    void addNull() { mix(1); }
    void addInteger(long long v) {
        mix(2);
        mix(static_cast<uint64_t>(v));
    }
    void addReal(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        mix(3);
        mix(bits);
    }
    void addText(const void* bytes, int length) { addBytes(4, bytes, length); }
    void addBlob(const void* bytes, int length) { addBytes(5, bytes, length); }
    uint64_t value() const { return h_; }

    // Makes kFunction known to the connection (deterministic, for direct use only: never in a
    // trigger or a view of the file).
    static void registerWith(sqlite3* db);

private:
    // A multiply-xorshift round per word (splitmix64's finaliser): every input bit reaches every
    // output bit, so values that differ in one byte give unrelated fingerprints.
    void mix(uint64_t word) {
        uint64_t x = h_ ^ word;
        x *= 0xbf58476d1ce4e5b9ull;
        x ^= x >> 31;
        x *= 0x94d049bb133111ebull;
        h_ = x ^ (x >> 29);
    }
    void addBytes(uint64_t kind, const void* bytes, int length) {
        mix(kind);
        mix(static_cast<uint64_t>(length));
        const auto* p = static_cast<const unsigned char*>(bytes);
        int i = 0;
        for (; i + 8 <= length; i += 8) {
            uint64_t w;
            std::memcpy(&w, p + i, 8);
            mix(w);
        }
        uint64_t tail = 0;
        for (int k = 0; i < length; ++i, ++k)
            tail |= static_cast<uint64_t>(p[i]) << (8 * k);
        mix(tail);
    }
    uint64_t h_ = 0x9E3779B97F4A7C15ull;
};

} // namespace ado

#include "platform/ado/writes/PendingWrites.h"
#include "platform/runtime/Conversions.h"

#include <algorithm>
#include <cstring>

namespace ado {

namespace {

uint64_t bitsOf(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

double doubleOf(uint64_t b) {
    double d;
    std::memcpy(&d, &b, sizeof d);
    return d;
}

} // namespace

// --- Values ---------------------------------------------------------------------------------

PendingWrites::Value PendingWrites::Value::of(const runtime::FieldValue& v) {
    Value r;
    switch (v.kind()) {
    case runtime::FieldValue::Kind::Empty: r.kind = Empty; break;
    case runtime::FieldValue::Kind::Null: r.kind = Null; break;
    case runtime::FieldValue::Kind::Number:
        r.kind = Real;
        r.real = v.number();
        break;
    case runtime::FieldValue::Kind::Text:
        r.kind = Text;
        r.bytes = v.text().toUtf8();
        break;
    case runtime::FieldValue::Kind::Date:
        r.kind = Date;
        r.real = v.date().serial;
        break;
    }
    return r;
}

runtime::FieldValue PendingWrites::Value::fieldValue() const {
    switch (kind) {
    case Empty: return runtime::FieldValue();
    case Null: return runtime::FieldValue::Null();
    case Integer: return runtime::FieldValue(static_cast<double>(integer));
    case Real: return runtime::FieldValue(real);
    case Text:
    case Blob: return runtime::FieldValue(QString::fromUtf8(bytes));
    case Date: return runtime::FieldValue(runtime::Date{real});
    }
    return runtime::FieldValue();
}

bool PendingWrites::Value::sameAs(const Value& stored) const {
    const bool number = kind == Integer || kind == Real;
    const bool storedNumber = stored.kind == Integer || stored.kind == Real;
    if (number && storedNumber) {
        if (kind == Integer && stored.kind == Integer) return integer == stored.integer;
        const double a = kind == Integer ? static_cast<double>(integer) : real;
        const double b = stored.kind == Integer ? static_cast<double>(stored.integer) : stored.real;
        return a == b;
    }
    switch (kind) {
    case Empty:
    case Null: return stored.kind == Null;
    case Text:
    case Blob: return stored.kind == kind && stored.bytes == bytes;
    case Date: return stored.kind == Text && stored.bytes == runtime::isoDateText(runtime::Date{real}).toUtf8();
    default: return false;
    }
}

// --- Tables, columns and column sets ---------------------------------------------------------

int PendingWrites::table(const QString& name) {
    const QString key = name.toLower();
    if (const auto it = tableIds_.constFind(key); it != tableIds_.constEnd()) return it.value();
    const int id = static_cast<int>(tables_.size());
    tables_.push_back(Table{name, {}, {}, {}, {}, {}, -1, {}, {}});
    tableIds_.insert(key, id);
    return id;
}

int PendingWrites::column(int table, const QString& name) {
    Table& t = tables_[static_cast<std::size_t>(table)];
    const QString key = name.toLower();
    if (const auto it = t.columnIds.constFind(key); it != t.columnIds.constEnd()) return it.value();
    const int id = static_cast<int>(t.columns.size());
    t.columns << name;
    t.columnIds.insert(key, id);
    return id;
}

void PendingWrites::setLabelColumns(int table, const QStringList& columns) {
    Table& t = tables_[static_cast<std::size_t>(table)];
    if (t.label.isEmpty()) t.label = columns;
}

int PendingWrites::columnSetOf(Table& t, ColumnSet&& s) {
    if (const auto it = t.columnSetIds.find(s); it != t.columnSetIds.end()) return it->second;
    const int id = static_cast<int>(t.columnSets.size());
    t.columnSetIds.emplace(s, id);
    t.columnSets.push_back(std::move(s));
    return id;
}

// --- Stored values --------------------------------------------------------------------------

PendingWrites::Stored PendingWrites::store(const Value& v) {
    Stored s;
    s.kind = v.kind;
    switch (v.kind) {
    case Value::Integer: s.bits = static_cast<uint64_t>(v.integer); break;
    case Value::Real:
    case Value::Date: s.bits = bitsOf(v.real); break;
    case Value::Text:
    case Value::Blob:
        s.bits = bytes_.size();
        bytes_.push_back(v.bytes);
        break;
    default: break;
    }
    return s;
}

void PendingWrites::storeAt(uint32_t index, const Value& v) {
    Stored& s = stored_[index];
    const bool hadBytes = s.kind == Value::Text || s.kind == Value::Blob;
    if (hadBytes && (v.kind == Value::Text || v.kind == Value::Blob)) {
        bytes_[s.bits] = v.bytes;
        s.kind = v.kind;
        return;
    }
    s = store(v);
}

PendingWrites::Value PendingWrites::value(uint32_t index) const {
    const Stored& s = stored_[index];
    Value v;
    v.kind = static_cast<Value::Kind>(s.kind);
    switch (v.kind) {
    case Value::Integer: v.integer = static_cast<long long>(s.bits); break;
    case Value::Real:
    case Value::Date: v.real = doubleOf(s.bits); break;
    case Value::Text:
    case Value::Blob: v.bytes = bytes_[s.bits]; break;
    default: break;
    }
    return v;
}

// --- Writes ---------------------------------------------------------------------------------

void PendingWrites::write(int table, long long rowid, const Write& w) {
    Table& t = tables_[static_cast<std::size_t>(table)];
    uint32_t* const existing = t.rows.find(rowid);
    const Slot* old = existing ? &t.entries[*existing] : nullptr;

    // The row's column set: the columns written now and before; what it held when it was first read.
    // A run writes row after row of the same column set: that one is known without building it.
    if (!old && t.lastColumnSet >= 0 && sameColumns(t.columnSets[static_cast<std::size_t>(t.lastColumnSet)], w)) {
        place(t, rowid, nullptr, nullptr, t.lastColumnSet, w);
        return;
    }
    ColumnSet s;
    for (const Write::Set& c : w.set)
        s.set.push_back(c.column);
    if (old) {
        // The row as first read stays what the file must hold; a column written now that nothing
        // compared then is compared with its value as read now.
        const ColumnSet& before = t.columnSets[old->columnSet];
        s.compared = before.compared;
        s.fingerprinted = before.fingerprinted;
        auto in = [](const std::vector<int>& v, int c) { return std::find(v.begin(), v.end(), c) != v.end(); };
        auto covered = [&](int c) {
            return in(before.set, c) || in(before.compared, c) || in(before.fingerprinted, c);
        };
        for (const Write::Set& c : w.set)
            if (!covered(c.column)) s.compared.push_back(c.column);
        // What this write's reader used that the pending write did not check.
        for (const Write::Compared& c : w.compared)
            if (!covered(c.column) && !in(s.compared, c.column)) s.compared.push_back(c.column);
        std::sort(s.compared.begin(), s.compared.end());
        s.set.insert(s.set.end(), before.set.begin(), before.set.end());
    } else {
        for (const Write::Compared& c : w.compared)
            s.compared.push_back(c.column);
        std::sort(s.compared.begin(), s.compared.end());
        s.fingerprinted = w.fingerprinted;
    }
    std::sort(s.set.begin(), s.set.end());
    s.set.erase(std::unique(s.set.begin(), s.set.end()), s.set.end());
    const int setId = columnSetOf(t, std::move(s));
    if (!old) t.lastColumnSet = setId;
    place(t, rowid, existing, old, setId, w);
}

bool PendingWrites::sameColumns(const ColumnSet& columns, const Write& w) {
    if (columns.set.size() != w.set.size() || columns.compared.size() != w.compared.size() ||
        columns.fingerprinted != w.fingerprinted)
        return false;
    for (const Write::Set& c : w.set)
        if (!std::binary_search(columns.set.begin(), columns.set.end(), c.column)) return false;
    for (const Write::Compared& c : w.compared)
        if (!std::binary_search(columns.compared.begin(), columns.compared.end(), c.column)) return false;
    return true;
}

void PendingWrites::place(Table& t, long long rowid, uint32_t* existing, const Slot* old, int setId, const Write& w) {
    const ColumnSet& columns = t.columnSets[static_cast<std::size_t>(setId)];
    auto lastWrite = [&](int column) -> const Write::Set* {
        for (auto it = w.set.rbegin(); it != w.set.rend(); ++it)
            if (it->column == column) return &*it;
        return nullptr;
    };

    if (old && old->columnSet == setId) {
        // The same columns again: the new values take the old ones' places.
        for (std::size_t i = 0; i < columns.set.size(); ++i)
            if (const Write::Set* c = lastWrite(columns.set[i]))
                storeAt(old->first + static_cast<uint32_t>(i), c->value);
        return;
    }

    const auto first = static_cast<uint32_t>(stored_.size());
    const std::size_t nSet = columns.set.size();
    stored_.resize(stored_.size() + storedCount(columns));
    const ColumnSet* before = old ? &t.columnSets[old->columnSet] : nullptr;
    auto indexIn = [](const std::vector<int>& v, int c) -> long {
        const auto pos = std::find(v.begin(), v.end(), c);
        return pos == v.end() ? -1 : static_cast<long>(pos - v.begin());
    };
    for (std::size_t i = 0; i < nSet; ++i) {
        const Write::Set* now = lastWrite(columns.set[i]);
        stored_[first + i] =
            now ? store(now->value) : stored_[old->first + static_cast<uint32_t>(indexIn(before->set, columns.set[i]))];
    }
    for (std::size_t j = 0; j < columns.compared.size(); ++j) {
        const int column = columns.compared[j];
        const uint32_t to = first + static_cast<uint32_t>(nSet + j);
        // As first read, or, for a column first written now, as read now.
        if (const long at = before ? indexIn(before->compared, column) : -1; at >= 0) {
            stored_[to] =
                stored_[old->first + static_cast<uint32_t>(before->set.size() + static_cast<std::size_t>(at))];
            continue;
        }
        for (const Write::Compared& c : w.compared)
            if (c.column == column) stored_[to] = store(c.asRead);
        if (old)
            if (const Write::Set* now = lastWrite(column)) stored_[to] = store(now->asRead);
    }
    const uint64_t fingerprint = old ? old->fingerprint : w.fingerprint;
    t.entries.push_back(Slot{rowid, fingerprint, first, static_cast<uint16_t>(setId)});
    const auto slot = static_cast<uint32_t>(t.entries.size() - 1);
    if (existing) {
        *existing = slot;
    } else {
        t.rows.insert(rowid, slot);
        ++rows_;
    }
}

std::vector<PendingWrites::Row> PendingWrites::inFileOrder() const {
    std::vector<Row> r;
    r.reserve(rows_);
    for (std::size_t ti = 0; ti < tables_.size(); ++ti) {
        const Table& t = tables_[ti];
        t.rows.forEach([&](long long rowid, uint32_t slot) {
            const Slot& s = t.entries[slot];
            r.push_back({static_cast<int>(ti), rowid, s.columnSet, s.first, s.fingerprint});
        });
    }
    std::sort(r.begin(), r.end(),
              [](const Row& a, const Row& b) { return a.table != b.table ? a.table < b.table : a.rowid < b.rowid; });
    return r;
}

bool PendingWrites::current(int table, long long rowid, Row& row) const {
    const Table& t = tables_[static_cast<std::size_t>(table)];
    const uint32_t* slot = t.rows.find(rowid);
    if (!slot) return false;
    const Slot& s = t.entries[*slot];
    row = {table, rowid, s.columnSet, s.first, s.fingerprint};
    return true;
}

void PendingWrites::erase(int table, long long rowid) {
    if (!tables_[static_cast<std::size_t>(table)].rows.erase(rowid)) return;
    if (--rows_ == 0) clear(); // the values of written rows are let go with the last of them
}

void PendingWrites::compact() {
    std::vector<Stored> stored;
    std::vector<QByteArray> bytes;
    for (Table& t : tables_) {
        std::vector<Slot> entries;
        entries.reserve(t.rows.size());
        t.rows.forEachSlot([&](uint32_t& slot) {
            const Slot old = t.entries[slot];
            entries.push_back({old.rowid, old.fingerprint, static_cast<uint32_t>(stored.size()), old.columnSet});
            for (std::size_t k = 0; k < storedCount(t.columnSets[old.columnSet]); ++k) {
                Stored s = stored_[old.first + k];
                if (s.kind == Value::Text || s.kind == Value::Blob) {
                    bytes.push_back(bytes_[s.bits]);
                    s.bits = bytes.size() - 1;
                }
                stored.push_back(s);
            }
            slot = static_cast<uint32_t>(entries.size() - 1);
        });
        t.entries = std::move(entries);
    }
    stored_ = std::move(stored);
    bytes_ = std::move(bytes);
}

void PendingWrites::clear() {
    for (Table& t : tables_) {
        t.rows.clear();
        t.entries.clear();
    }
    stored_.clear();
    bytes_.clear();
    rows_ = 0;
}

} // namespace ado

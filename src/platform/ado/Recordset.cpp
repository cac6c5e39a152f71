#include "platform/ado/Recordset.h"
#include "platform/ado/Errors.h"
#include "platform/ado/RowFingerprint.h"
#include "platform/ado/SqlLiterals.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"

#include <algorithm>
#include <sqlite3.h>

namespace ado {

namespace {

// Dates are kept as ISO texts; a date column gives them back as dates.
runtime::FieldValue asDate(const runtime::FieldValue& v) {
    runtime::Date d;
    if (v.isText() && runtime::parseIsoDate(v.text(), d)) return runtime::FieldValue(d);
    return v;
}

[[noreturn]] void raiseNotUpdatable() {
    runtime::raise(
        err::NotSupported,
        QStringLiteral("El conjunto de registros no admite actualizaciones. Puede deberse a una limitación del "
                       "proveedor o del tipo de bloqueo seleccionado."));
}

} // namespace

Recordset::~Recordset() {
    try {
        Close();
    } catch (...) {
        // Nothing is lost: the rows are pending in the connection.
    }
}

void Recordset::requireOpen() const {
    if (!open_) raiseObjectClosed();
}

void Recordset::requireCurrentRow() const {
    requireOpen();
    if (position_ < 0 || position_ >= RecordCount()) raiseNoCurrentRecord();
}

void Recordset::Open(const QString& source, Connection& activeConnection, int, int lockType, long) {
    Connection& conn = activeConnection;
    if (open_) raiseObjectOpen();
    if (!conn.State()) raiseObjectClosed();
    const ParameterizedSql p = ParameterizedSql::from(source);
    conn.reading();
    const QueryShape shape = conn.shape(p.sql);
    keys_.clear();
    fixedRows_.clear();
    edits_.clear();
    keyset_ = shape.keyset;
    if (keyset_) {
        // A view, or a table without row keys: its rows cannot be followed by their keys.
        auto noKeys = [&](const QString& reason) {
            runtime::raise(err::NotSupported,
                           QStringLiteral("No se puede abrir '%1' como conjunto de claves: no es una "
                                          "tabla con identificadores de fila (%2).")
                               .arg(shape.table, reason));
        };
        if (shape.view) noKeys(QStringLiteral("es una vista"));
        std::shared_ptr<Statement> keys;
        try {
            keys = conn.statement(shape.keysSql);
        } catch (const runtime::Failure& f) {
            if (f.Number() == err::ColumnNotFound && f.Description().contains(QLatin1String("rowid")))
                noKeys(QStringLiteral("se creó sin ellos, WITHOUT ROWID"));
            throw;
        }
        layout_ = conn.rowLayout(shape);
        reprepares_ = layout_->reprepares;
        // The keys are chosen and ordered by what the file holds: this connection's pending
        // rows of every table the query reads must be there first.
        for (int table : shape.tablesRead)
            if (conn.pending().hasRows(table)) {
                conn.flush();
                break;
            }
        // A row is known by the table's key, or else by the columns the cursor is ordered by.
        identity_.assign(static_cast<std::size_t>(layout_->columns.size()), 0);
        for (const QStringList* names : {&layout_->keyColumns, &shape.orderColumns})
            for (const QString& name : *names)
                if (const int c = layout_->find(name); c >= 0) identity_[static_cast<std::size_t>(c)] = 1;
        conn.pending().setLabelColumns(layout_->tableId,
                                       layout_->keyColumns.isEmpty() ? shape.orderColumns : layout_->keyColumns);
        for (int i = 0; i < p.literals.size(); ++i)
            keys->bind(i + 1, p.literals[i]);
        while (keys->step())
            keys_.push_back(keys->columnInt64(0));
        keys->reset();
        // What finds the cursor's place again if another program renumbers the rows under it
        // (see resync); its statement is made only then.
        keysSql_ = shape.keysSql;
        literals_ = p.literals;
        cellsKey_ = -1;
        updatable_ = lockType != adLockReadOnly;
    } else {
        if (conn.pendingRows()) conn.flush(); // the query reads the file as it is
        const auto st = conn.statement(p.sql);
        for (int i = 0; i < p.literals.size(); ++i)
            st->bind(i + 1, p.literals[i]);
        auto layout = std::make_shared<RowLayout>();
        for (int i = 0; i < st->columnCount(); ++i) {
            layout->columns << st->columnName(i);
            layout->isDate.push_back(false);
        }
        layout_ = std::move(layout);
        identity_.assign(static_cast<std::size_t>(layout_->columns.size()), 0);
        while (st->step()) {
            std::vector<runtime::FieldValue> f;
            f.reserve(static_cast<std::size_t>(st->columnCount()));
            for (int i = 0; i < st->columnCount(); ++i)
                f.push_back(st->column(i));
            fixedRows_.push_back(std::move(f));
        }
        st->reset();
        updatable_ = false;
    }
    conn_ = &conn;
    open_ = true;
    wrote_ = false;
    try {
        moveTo(0); // the first row is read now: a lock shows up in the opening
    } catch (...) {
        Close();
        throw;
    }
}

void Recordset::Close() {
    if (!open_) return;
    open_ = false;
    keys_ = {};
    fixedRows_ = {};
    edits_.clear();
    rowRead_ = false;
    if (wrote_) {
        wrote_ = false;
        try {
            conn_->flush(Connection::kBusyMs);
        } catch (const runtime::Failure&) {
            // The rows stay pending in the connection; its next flush point writes them or says why not.
        }
    }
}

long Recordset::RecordCount() const {
    requireOpen();
    return static_cast<long>(keyset_ ? keys_.size() : fixedRows_.size());
}

bool Recordset::Eof() const {
    requireOpen();
    return position_ >= RecordCount();
}

bool Recordset::Bof() const {
    requireOpen();
    return position_ < 0 || RecordCount() == 0;
}

void Recordset::moveTo(long position) {
    edits_.clear(); // an edit not written by Update is dropped when the cursor moves
    conn_->flushPoint();
    // Back to the row just read, in the same read of the file (MoveFirst after an opening): the
    // row is what the file holds, and is not read again.
    const bool same = position == position_ && rowRead_ && readIn_ != 0 && readIn_ == conn_->readTransaction();
    position_ = position;
    if (same) return;
    rowRead_ = false;
    if (position_ >= 0 && position_ < RecordCount()) readRow();
}

void Recordset::MoveFirst() {
    requireOpen();
    moveTo(0);
}

void Recordset::MoveNext() {
    requireOpen();
    if (Eof()) raiseNoCurrentRecord();
    moveTo(position_ + 1);
}

void Recordset::checkColumns(const Statement& st) const {
    const QStringList& columns = layout_->columns;
    bool same = st.columnCount() == columns.size();
    for (int i = 0; same && i < columns.size(); ++i)
        same = st.columnName(i).compare(columns[i], Qt::CaseInsensitive) == 0;
    if (!same)
        runtime::raise(err::ColumnsChanged,
                       QStringLiteral("Las columnas de la tabla '%1' cambiaron mientras estaba abierta; "
                                      "vuelva a abrirla.")
                           .arg(layout_->table));
    reprepares_ = st.reprepareCount();
}

void Recordset::readRow() const {
    requireCurrentRow();
    if (!keyset_) {
        const auto index = static_cast<std::size_t>(position_);
        row_.assign(fixedRows_[index].begin(), fixedRows_[index].end());
        rowRead_ = true;
        return;
    }
    conn_->reading();
    Statement& st = *layout_->row;
    st.bind(1, keys_[static_cast<std::size_t>(position_)]);
    bool found = st.step();
    if (st.reprepareCount() != reprepares_ || st.columnCount() != layout_->columns.size()) {
        // The table's schema changed under the cursor: its columns must be the same, and its row
        // ids may now name other rows (VACUUM renumbers them): the cursor finds its place again.
        st.reset();
        checkColumns(st);
        resync();
        st.bind(1, keys_[static_cast<std::size_t>(position_)]);
        found = st.step();
    }
    if (!found) {
        st.reset();
        conn_->raiseIfDamaged();
        raiseRowDeleted();
    }
    // The row as the engine gives it; each field is turned into a value only when it is read.
    const auto n = static_cast<std::size_t>(layout_->columns.size());
    cells_.resize(n);
    text_.clear();
    sqlite3_stmt* h = st.handle();
    for (std::size_t i = 0; i < n; ++i) {
        Cell& c = cells_[i];
        const int col = static_cast<int>(i);
        c.type = sqlite3_column_type(h, col);
        if (c.type == SQLITE_INTEGER) {
            c.integer = sqlite3_column_int64(h, col);
            c.number = static_cast<double>(c.integer);
        } else if (c.type == SQLITE_FLOAT) {
            c.number = sqlite3_column_double(h, col);
        } else if (c.type != SQLITE_NULL) {
            // A text as its bytes, and a blob as it is: compared later exactly as stored.
            const auto* p = c.type == SQLITE_BLOB ? static_cast<const char*>(sqlite3_column_blob(h, col))
                                                  : reinterpret_cast<const char*>(sqlite3_column_text(h, col));
            c.offset = static_cast<uint32_t>(text_.size());
            c.length = static_cast<uint32_t>(sqlite3_column_bytes(h, col));
            text_.append(p ? p : "", c.length);
        }
    }
    row_.assign(n, std::nullopt);
    cellsKey_ = position_;
    used_ = identity_;
    if (anyKnown_ || known_.size() != n) {
        known_.assign(n, std::nullopt);
        anyKnown_ = false;
    }
    st.reset();
    // This connection's pending writes are part of the row, as long as the
    // row is still the one they were made for.
    PendingWrites& pending = conn_->pending();
    const RowLayout& layout = *layout_;
    PendingWrites::Row pendingRow{};
    if (pending.hasRows(layout.tableId) &&
        pending.current(layout.tableId, keys_[static_cast<std::size_t>(position_)], pendingRow) &&
        overlayMatches(pendingRow)) {
        const auto& written = pending.columnSet(layout.tableId, pendingRow.columnSet);
        for (std::size_t k = 0; k < written.set.size(); ++k) {
            const auto id = static_cast<std::size_t>(written.set[k]);
            if (id >= layout.columnOfId.size() || layout.columnOfId[id] < 0) continue;
            const auto c = static_cast<std::size_t>(layout.columnOfId[id]);
            PendingWrites::Value v = pending.value(pendingRow.first + static_cast<uint32_t>(k));
            row_[c] = v.fieldValue();
            known_[c] = std::move(v);
            anyKnown_ = true;
        }
    }
    rowRead_ = true;
    readIn_ = conn_->readTransaction();
}

// Whether the file's row, as just read, is still what a pending write of it was made from.
bool Recordset::overlayMatches(const PendingWrites::Row& row) const {
    const PendingWrites& pending = conn_->pending();
    const RowLayout& layout = *layout_;
    const auto& columns = pending.columnSet(layout.tableId, row.columnSet);
    auto columnOf = [&](int id) -> long {
        const auto i = static_cast<std::size_t>(id);
        return i < layout.columnOfId.size() ? layout.columnOfId[i] : -1;
    };
    const auto nSet = static_cast<uint32_t>(columns.set.size());
    for (uint32_t k = 0; k < columns.compared.size(); ++k) {
        const long c = columnOf(columns.compared[k]);
        if (c < 0 || !pending.value(row.first + nSet + k).sameAs(asRead(static_cast<std::size_t>(c)))) return false;
    }
    RowFingerprint fp;
    for (int id : columns.fingerprinted) {
        const long c = columnOf(id);
        if (c < 0) return false;
        addCell(fp, static_cast<std::size_t>(c));
    }
    return columns.fingerprinted.empty() || fp.value() == row.fingerprint;
}

void Recordset::resync() const {
    reprepares_ = layout_->row->reprepareCount();
    // The same keys, each with its row's identity, as the file has them now.
    QStringList identityColumns;
    for (std::size_t c = 0; c < identity_.size(); ++c)
        if (identity_[c]) identityColumns << quoted(layout_->columns[static_cast<int>(c)]);
    const QString keysOnly = QStringLiteral("SELECT rowid FROM ") + quoted(layout_->table);
    if (identityColumns.isEmpty() || !keysSql_.startsWith(keysOnly)) return; // nothing to know a row by
    const auto keys = conn_->statement(QStringLiteral("SELECT rowid, %1(%2) FROM ")
                                           .arg(QLatin1String(RowFingerprint::kFunction), identityColumns.join(u',')) +
                                       quoted(layout_->table) + keysSql_.mid(keysOnly.size()));
    for (int i = 0; i < literals_.size(); ++i)
        keys->bind(i + 1, literals_[i]);
    std::vector<long long> now;
    std::vector<uint64_t> identities;
    while (keys->step()) {
        now.push_back(keys->columnInt64(0));
        identities.push_back(static_cast<uint64_t>(keys->columnInt64(1)));
    }
    keys->reset();
    if (cellsKey_ < 0) { // nothing read yet: the new keys, from the same place
        keys_ = std::move(now);
        return;
    }
    // The row read last, by its identity: the cursor goes on after it, as far as it had gone.
    RowFingerprint last;
    for (std::size_t c = 0; c < identity_.size(); ++c)
        if (identity_[c]) addCell(last, c);
    const auto at = std::find(identities.begin(), identities.end(), last.value());
    if (at == identities.end())
        runtime::raise(err::RowChanged,
                       QStringLiteral("Otro programa reorganizó la tabla '%1' mientras este programa la recorría, "
                                      "y la última fila leída ya no está: las filas que faltan no se leyeron.")
                           .arg(layout_->table));
    const long step = position_ - cellsKey_;
    keys_ = std::move(now);
    position_ = static_cast<long>(at - identities.begin()) + step;
    cellsKey_ = static_cast<long>(at - identities.begin());
    if (position_ < 0 || position_ >= static_cast<long>(keys_.size())) raiseNoCurrentRecord();
}

void Recordset::addCell(RowFingerprint& fp, std::size_t column) const {
    const Cell& c = cells_[column];
    switch (c.type) {
    case SQLITE_INTEGER: fp.addInteger(c.integer); break;
    case SQLITE_FLOAT: fp.addReal(c.number); break;
    case SQLITE_NULL: fp.addNull(); break;
    case SQLITE_BLOB: fp.addBlob(text_.data() + c.offset, static_cast<int>(c.length)); break;
    default: fp.addText(text_.data() + c.offset, static_cast<int>(c.length)); break;
    }
}

PendingWrites::Value Recordset::asRead(std::size_t column) const {
    if (known_[column]) return *known_[column];
    const Cell& c = cells_[column];
    PendingWrites::Value v;
    switch (c.type) {
    case SQLITE_INTEGER:
        v.kind = PendingWrites::Value::Integer;
        v.integer = c.integer;
        break;
    case SQLITE_FLOAT:
        v.kind = PendingWrites::Value::Real;
        v.real = c.number;
        break;
    case SQLITE_NULL: v.kind = PendingWrites::Value::Null; break;
    default:
        v.kind = c.type == SQLITE_BLOB ? PendingWrites::Value::Blob : PendingWrites::Value::Text;
        v.bytes = QByteArray(text_.data() + c.offset, static_cast<qsizetype>(c.length));
        break;
    }
    return v;
}

runtime::FieldValue Recordset::storedValue(std::size_t column) const {
    const Cell& c = cells_[column];
    switch (c.type) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: return runtime::FieldValue(c.number);
    case SQLITE_NULL: return runtime::FieldValue::Null();
    default: return runtime::FieldValue(QString::fromUtf8(text_.data() + c.offset, c.length));
    }
}

Field Recordset::Fields(const QString& name) {
    requireOpen();
    // The move that should have read the row failed: it is read again here, in the caller's own
    // step, so that a lock that is still there fails that step and not a later, quieter read.
    if (!rowRead_ && position_ >= 0 && position_ < RecordCount()) readRow();
    if (const int column = layout_->find(name); column >= 0) return Field(this, column);
    runtime::raise(err::ItemNotFound,
                   QStringLiteral("No se encontró el elemento en la colección que corresponde con el "
                                  "nombre o el ordinal solicitado."));
}

runtime::FieldValue Recordset::value(int column) const {
    for (const auto& [edited, v] : edits_)
        if (edited == column) return v;
    if (!rowRead_) readRow(); // the move that should have read it failed: try again
    if (keyset_) used_[static_cast<std::size_t>(column)] = 1;
    auto& cached = row_[static_cast<std::size_t>(column)];
    if (!cached) {
        const runtime::FieldValue v = storedValue(static_cast<std::size_t>(column));
        cached = layout_->isDate[static_cast<std::size_t>(column)] ? asDate(v) : v;
    }
    return *cached;
}

void Recordset::assign(int column, const runtime::FieldValue& value) {
    requireCurrentRow();
    if (!updatable_) raiseNotUpdatable();
    for (auto& [edited, v] : edits_)
        if (edited == column) {
            v = value;
            return;
        }
    edits_.emplace_back(column, value);
}

void Recordset::Update() {
    requireCurrentRow();
    if (!updatable_) raiseNotUpdatable();
    if (edits_.empty()) return;
    if (conn_->readOnly()) {
        const QString& why = conn_->readOnlyReason();
        runtime::raise(err::ReadOnly,
                       QStringLiteral("No se puede actualizar. Base de datos u objeto de sólo lectura.") +
                           (why.isEmpty() ? QString() : QStringLiteral(" (%1.)").arg(why)));
    }
    if (!rowRead_) readRow(); // what the file holds now is what the write must find there
    const RowLayout& layout = *layout_;
    PendingWrites::Write& w = write_;
    w.clear();
    // The row must still be the one that was read: the columns written, its identity, and every
    // field the program used (the values the new ones were computed from). A field this program
    // wrote itself is compared with that value; the others by the fingerprint of their stored
    // values.
    fingerprinted_.clear();
    const long long rowid = keys_[static_cast<std::size_t>(position_)];
    // Where the write joins one that already waits, each value is kept as it is, so that what
    // this reader used is checked too. One that waits for what is no longer the row as read here
    // (the rows were renumbered under it, or another program changed the row) could never be
    // written: it is left out, and this write stands on its own.
    bool joins = false;
    if (PendingWrites::Row pendingRow{};
        conn_->pending().hasRows(layout.tableId) && conn_->pending().current(layout.tableId, rowid, pendingRow)) {
        joins = overlayMatches(pendingRow);
        if (!joins) conn_->writes().leaveOut(layout.tableId, rowid);
    }
    auto mustHold = [&](std::size_t c) {
        if (known_[c])
            w.compared.push_back({layout.columnIds[c], *known_[c]});
        else if (joins)
            w.compared.push_back({layout.columnIds[c], asRead(c)});
        else
            fingerprinted_.emplace_back(layout.columnIds[c], c);
    };
    for (const auto& [column, v] : edits_) {
        const auto c = static_cast<std::size_t>(column);
        w.set.push_back({layout.columnIds[c], PendingWrites::Value::of(v), joins ? asRead(c) : PendingWrites::Value()});
        mustHold(c);
    }
    for (std::size_t c = 0; c < used_.size(); ++c) {
        if (!used_[c]) continue;
        const bool edited = std::any_of(edits_.begin(), edits_.end(),
                                        [c](const auto& e) { return static_cast<std::size_t>(e.first) == c; });
        if (!edited) mustHold(c);
    }
    std::sort(fingerprinted_.begin(), fingerprinted_.end());
    RowFingerprint fp;
    for (const auto& [id, c] : fingerprinted_) {
        w.fingerprinted.push_back(id);
        addCell(fp, c);
    }
    w.fingerprint = fp.value();
    conn_->addPendingWrite(layout.tableId, rowid, w);
    for (auto& [column, v] : edits_) {
        const auto c = static_cast<std::size_t>(column);
        known_[c] = PendingWrites::Value::of(v);
        anyKnown_ = true;
        row_[c] = std::move(v);
    }
    edits_.clear();
    wrote_ = true;
    conn_->flushPoint();
    conn_->writes().raiseIfRefused(layout.tableId, rowid);
}

runtime::FieldValue Field::Value() const { return rs_->value(column_); }

Field& Field::operator=(const runtime::FieldValue& value) {
    rs_->assign(column_, value);
    return *this;
}

QString Field::Name() const { return rs_->layout_->columns[column_]; }

} // namespace ado

#include "import/JetReader.h"
#include "command/Command.h"
#include "import/JetValues.h"
#include "schema/FileKind.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <mdbtools.h>
#include <set>
#include <utility>

namespace importer {

namespace {

constexpr int kOffsetMask = 0x1fff; // a row's offset on its page, without its flags
constexpr int kMemoHeader = 12;     // the part of a memo or OLE value kept in its row
// What iconv_open gives when it cannot (its documented (iconv_t) -1).
const iconv_t kNoCodePage = reinterpret_cast<iconv_t>(-1);

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t le64(const unsigned char* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }

// The reason a value cannot be what its column says.
[[noreturn]] void damaged(const QString& table, const QString& why) {
    throw DamagedFile(QStringLiteral("la tabla %1 está dañada (%2)").arg(command::shownName(table), why).toStdString());
}

// What the operator can do about a file that Access may still open.
const char* const kRepair = "si Access lo abre, use «Compactar y reparar base de datos» y vuelva a intentarlo";

// The catalog, read as the table it is: MSysObjects, whose definition is always on page 2.
const char* const kCatalog = "MSysObjects";
constexpr unsigned long kCatalogPage = 2;

struct OpenTable {
    MdbTableDef* def = nullptr;
    ~OpenTable() {
        if (def) mdb_free_tabledef(def);
    }
};

MdbTableDef* openTable(MdbCatalogEntry* entry, const QString& name) {
    OpenTable t{entry ? mdb_read_table(entry) : nullptr};
    if (!t.def || !mdb_read_columns(t.def))
        throw DamagedFile(QStringLiteral("no se puede leer la definición de la tabla %1")
                              .arg(command::shownName(name))
                              .toStdString());
    if (t.def->num_cols != t.def->columns->len || t.def->num_cols == 0 || t.def->num_cols > MDB_MAX_COLS)
        damaged(name, QStringLiteral("%1 columnas").arg(t.def->num_cols));
    return std::exchange(t.def, nullptr);
}

// A table's columns as its definition gives them. Two columns of one name, or one without a
// name, are a definition Access never writes.
JetTable describe(const MdbTableDef* def, const QString& name, bool jet3) {
    JetTable r;
    r.name = name;
    r.rowCount = def->num_rows;
    for (unsigned int i = 0; i < def->num_cols; ++i) {
        const auto* c = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
        JetColumn col;
        col.name = QString::fromUtf8(c->name);
        if (col.name.isEmpty()) damaged(name, QStringLiteral("una columna sin nombre"));
        for (const JetColumn& other : r.columns)
            if (other.name.compare(col.name, Qt::CaseInsensitive) == 0)
                damaged(name, QStringLiteral("dos columnas se llaman %1").arg(command::shownName(col.name)));
        col.type = static_cast<JetType>(c->col_type);
        col.size = c->col_type == MDB_TEXT && !jet3 ? c->col_size / 2 : c->col_size;
        col.precision = c->col_prec;
        col.scale = c->col_scale;
        col.autoNumber = c->is_long_auto;
        r.columns.push_back(col);
    }
    return r;
}

} // namespace

struct JetReader::Handle {
    QString path;
    MdbHandle* mdb = nullptr;
    int pageSize = 0;
    iconv_t codePage = kNoCodePage; // Jet 3's texts

    ~Handle() {
        if (codePage != kNoCodePage) iconv_close(codePage);
        if (mdb) mdb_close(mdb);
    }
    bool jet3() const { return mdb->f->jet_version == MDB_VER_JET3; }

    QString text(const unsigned char* bytes, std::size_t length) const {
        if (!jet3()) return unicodeText(bytes, length);
        // Jet 3 keeps texts in the code page of the Windows that wrote them.
        QByteArray out(static_cast<qsizetype>(length * 4 + 4), '\0');
        char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
        char* o = out.data();
        std::size_t inLeft = length, outLeft = static_cast<std::size_t>(out.size());
        iconv(codePage, nullptr, nullptr, nullptr, nullptr);
        while (inLeft > 0) {
            if (iconv(codePage, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1)) break;
            if (errno == E2BIG) break;
            // A byte the code page does not define: kept as the character of that number.
            const QByteArray c = QString(QChar(static_cast<unsigned char>(*in))).toUtf8();
            if (outLeft < static_cast<std::size_t>(c.size())) break;
            std::memcpy(o, c.constData(), static_cast<std::size_t>(c.size()));
            o += c.size();
            outLeft -= static_cast<std::size_t>(c.size());
            ++in;
            --inLeft;
        }
        out.truncate(static_cast<qsizetype>(o - out.data()));
        return QString::fromUtf8(out);
    }

    // A memo's or an OLE object's bytes kept on one page of their own, or on a chain of pages.
    // `header` is the part kept in the row (copied: reading pages moves libmdb's buffers). The
    // value is whole, as long as the header says, or the file is damaged.
    QByteArray longValue(const QString& table, const unsigned char* header, int size) const {
        if (size < kMemoHeader) {
            if (size == 0) return {};
            damaged(table, QStringLiteral("un memo de %1 bytes").arg(size));
        }
        const uint32_t lengthAndFlags = le32(header);
        const uint32_t length = lengthAndFlags & 0x3fffffff;
        auto page = [&](uint32_t pgRow, QByteArray& into, bool chained) -> uint32_t {
            void* buf = nullptr;
            int offset = 0;
            size_t len = 0;
            if ((pgRow >> 8) >= pages)
                throw DamagedFile(
                    QStringLiteral("está cortado: la tabla %1 guarda un memo en la página %2, y el archivo "
                                   "sólo tiene %3 páginas; %4")
                        .arg(command::shownName(table))
                        .arg(pgRow >> 8)
                        .arg(pages)
                        .arg(QString::fromUtf8(kRepair))
                        .toStdString());
            if (mdb_find_pg_row(mdb, static_cast<int>(pgRow), &buf, &offset, &len) != 0 || !buf || offset < 0 ||
                static_cast<std::size_t>(offset) + len > static_cast<std::size_t>(pageSize) || (chained && len < 4))
                damaged(table, QStringLiteral("un memo apunta a la fila %1 de la página %2, que no existe")
                                   .arg(pgRow & 0xff)
                                   .arg(pgRow >> 8));
            const auto* p = static_cast<const unsigned char*>(buf) + offset;
            if (!chained) {
                into.append(reinterpret_cast<const char*>(p),
                            static_cast<qsizetype>(std::min<std::size_t>(len, length)));
                return 0;
            }
            into.append(reinterpret_cast<const char*>(p) + 4, static_cast<qsizetype>(len - 4));
            return le32(p);
        };
        auto cut = [&](const QByteArray& value) {
            damaged(table,
                    QStringLiteral("un memo de %1 bytes del que sólo se encuentran %2").arg(length).arg(value.size()));
        };
        QByteArray value;
        if (lengthAndFlags & 0x40000000u) { // one page
            page(le32(header + 4), value, false);
            if (value.size() < static_cast<qsizetype>(length)) cut(value);
            return value;
        }
        if (lengthAndFlags & 0xc0000000u) damaged(table, QStringLiteral("un memo de una clase desconocida"));
        // A chain of pages, each naming the next: followed no further than its length allows,
        // and never twice through the same page.
        std::set<uint32_t> seen;
        for (uint32_t next = le32(header + 4); next != 0;) {
            if (!seen.insert(next).second || value.size() > static_cast<qsizetype>(length))
                damaged(table, QStringLiteral("la cadena de páginas de un memo no termina"));
            next = page(next, value, true);
        }
        if (value.size() < static_cast<qsizetype>(length)) cut(value);
        value.truncate(static_cast<qsizetype>(length));
        return value;
    }

    // Every row of an open table, its values following `table`'s columns, to onRow until it
    // returns false; only the columns `wanted` (all if empty), the others Null. Fewer rows than
    // the definition counts: the rest could not be read.
    void rows(MdbTableDef* def, const JetTable& table, const std::function<bool(const std::vector<Value>&)>& onRow,
              const std::vector<bool>& wanted = {}) const;

    // The catalog's tables (the engine's own too), from the catalog read as the table it is.
    void readCatalog();
    MdbCatalogEntry* entry(const QString& name) {
        for (MdbCatalogEntry& e : tables)
            if (QString::fromUtf8(e.object_name) == name) return &e;
        return nullptr;
    }

    MdbCatalogEntry catalog{};
    std::vector<MdbCatalogEntry> tables;
    QStringList userTables;
    long long pages = 0; // in the file
};

void JetReader::Handle::readCatalog() {
    catalog.mdb = mdb;
    catalog.object_type = MDB_TABLE;
    catalog.table_pg = kCatalogPage;
    std::snprintf(catalog.object_name, sizeof catalog.object_name, "%s", kCatalog);
    OpenTable t{mdb_read_table(&catalog)};
    if (!t.def || !mdb_read_columns(t.def) || t.def->num_cols != t.def->columns->len)
        throw DamagedFile("está cortado o dañado: no se puede leer su catálogo");
    const JetTable described = describe(t.def, QLatin1String(kCatalog), jet3());
    // The columns read, as Access makes them.
    auto column = [&](const char* name, JetType type) {
        for (std::size_t i = 0; i < described.columns.size(); ++i)
            if (described.columns[i].name == QLatin1String(name) && described.columns[i].type == type) return i;
        throw DamagedFile(
            QStringLiteral("está dañado: a su catálogo le falta la columna %1, o no es como la hace Access")
                .arg(QLatin1String(name))
                .toStdString());
    };
    const std::size_t id = column("Id", JetType::Long), name = column("Name", JetType::Text),
                      type = column("Type", JetType::Integer), flags = column("Flags", JetType::Long);
    std::vector<bool> wanted(described.columns.size());
    for (const std::size_t c : {id, name, type, flags})
        wanted[c] = true;
    rows(
        t.def, described,
        [&](const std::vector<Value>& v) {
            if (v[type].kind != Value::Integer || (v[type].integer & 0x7f) != MDB_TABLE) return true;
            const QString tableName = QString::fromUtf8(v[name].bytes);
            if (v[name].kind != Value::Text || tableName.isEmpty() || v[name].bytes.size() > MDB_MAX_OBJ_NAME ||
                v[id].kind != Value::Integer)
                throw DamagedFile("está dañado: su catálogo tiene una tabla sin nombre o sin definición");
            MdbCatalogEntry e{};
            e.mdb = mdb;
            std::memcpy(e.object_name, v[name].bytes.constData(), static_cast<std::size_t>(v[name].bytes.size()));
            e.object_type = MDB_TABLE;
            e.table_pg = static_cast<uint32_t>(v[id].integer) & 0x00ffffff;
            e.flags = v[flags].kind == Value::Integer ? static_cast<int>(v[flags].integer) : 0;
            // A definition past the file's end: the file was cut short, or its catalog is damaged.
            if (e.table_pg < kCatalogPage || static_cast<long long>(e.table_pg) >= pages)
                throw DamagedFile(QStringLiteral("está cortado o dañado: su catálogo pone la tabla %1 en la página %2, "
                                                 "y el archivo sólo tiene %3 páginas; %4")
                                      .arg(command::shownName(tableName))
                                      .arg(e.table_pg)
                                      .arg(pages)
                                      .arg(QString::fromUtf8(kRepair))
                                      .toStdString());
            tables.push_back(e);
            if (!mdb_is_user_table(&e) || tableName.startsWith(QLatin1String("MSys"), Qt::CaseInsensitive))
                return true; // the engine's own
            for (const QString& other : std::as_const(userTables))
                if (other.compare(tableName, Qt::CaseInsensitive) == 0)
                    throw DamagedFile(QStringLiteral("está dañado: su catálogo tiene dos tablas llamadas %1")
                                          .arg(command::shownName(tableName))
                                          .toStdString());
            userTables << tableName;
            return true;
        },
        wanted);
    // Every Access file lists its own tables, the catalog first.
    if (tables.empty()) throw DamagedFile("está dañado: su catálogo no tiene ninguna tabla");
}

bool JetReader::looksLikeAccess(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && schema::accessHeader(f.read(0x20)).access;
}

JetReader::JetReader(const QString& path) : h_(std::make_unique<Handle>()) {
    h_->path = path;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw DamagedFile(QStringLiteral("no se puede leer (%1)").arg(f.errorString()).toStdString());
    const schema::AccessHeader header = schema::accessHeader(f.read(0x20));
    if (!header.access)
        throw DamagedFile("no es una base de datos de Access (ni Jet ni ACE): su primera página no lo dice");
    h_->pageSize = header.pageSize;
    const qint64 size = f.size();
    if (size < qint64(3) * header.pageSize || size % header.pageSize != 0)
        throw DamagedFile(QStringLiteral("está cortado: tiene %1 bytes, que no son páginas enteras de %2")
                              .arg(size)
                              .arg(header.pageSize)
                              .toStdString());
    // The catalog's definition is the file's third page. Where the pages are encrypted (an ACE
    // file saved with a password) it is noise that libmdb cannot read.
    f.seek(qint64(2) * header.pageSize);
    const QByteArray catalog = f.read(2);
    if (catalog != QByteArray("\x02\x01", 2)) {
        if (header.version >= MDB_VER_ACCDB_2007)
            throw DamagedFile("está cifrado con contraseña (ACE): libmdb no puede leerlo; ábralo en Access, quite "
                              "la contraseña (Archivo, Información, Descifrar base de datos) y vuelva a intentarlo");
        throw DamagedFile("está dañado: su catálogo no está donde debe");
    }
    f.close();

    h_->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!h_->mdb) throw DamagedFile("libmdb no puede abrirlo");
    if (h_->jet3()) {
        const int codePage = h_->mdb->f->code_page ? h_->mdb->f->code_page : 1252;
        h_->codePage = iconv_open("UTF-8", QStringLiteral("CP%1").arg(codePage).toLatin1().constData());
        if (h_->codePage == kNoCodePage) h_->codePage = iconv_open("UTF-8", "CP1252");
    }
    h_->pages = size / header.pageSize;
    h_->readCatalog();
    // The engine's own tables are not converted, but a file whose tail is cut off may have lost
    // nothing else: they are read whole too, their values left alone.
    for (MdbCatalogEntry& e : h_->tables) {
        const QString name = QString::fromUtf8(e.object_name);
        if (e.table_pg == kCatalogPage || h_->userTables.contains(name)) continue;
        OpenTable t{openTable(&e, name)};
        h_->rows(
            t.def, describe(t.def, name, h_->jet3()), [](const std::vector<Value>&) { return true; },
            std::vector<bool>(t.def->num_cols, false));
    }
}

JetReader::~JetReader() = default;

QString JetReader::version() const {
    switch (h_->mdb->f->jet_version) {
    case MDB_VER_JET3: return QStringLiteral("Jet 3 (Access 97)");
    case MDB_VER_JET4: return QStringLiteral("Jet 4 (Access 2000-2003)");
    case MDB_VER_ACCDB_2007: return QStringLiteral("ACE 12 (Access 2007)");
    case MDB_VER_ACCDB_2010: return QStringLiteral("ACE 14 (Access 2010)");
    case MDB_VER_ACCDB_2013: return QStringLiteral("ACE 15 (Access 2013)");
    case MDB_VER_ACCDB_2016: return QStringLiteral("ACE 16 (Access 2016)");
    case MDB_VER_ACCDB_2019: return QStringLiteral("ACE 17 (Access 2019)");
    default: return QStringLiteral("ACE (versión %1)").arg(h_->mdb->f->jet_version);
    }
}

QStringList JetReader::userTables() const { return h_->userTables; }

JetTable JetReader::table(const QString& name) const {
    OpenTable t{openTable(h_->entry(name), name)};
    JetTable r = describe(t.def, name, h_->jet3());
    if (mdb_read_indices(t.def) && t.def->indices) {
        for (unsigned int i = 0; i < t.def->indices->len; ++i) {
            const auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(t.def->indices, i));
            if (!idx || idx->index_type == 2) continue; // the other side of a relationship: not an index of its own
            JetIndex index;
            index.name = QString::fromUtf8(idx->name);
            index.primaryKey = idx->index_type == 1;
            index.unique = index.primaryKey || (idx->flags & MDB_IDX_UNIQUE);
            bool known = idx->num_keys > 0 && idx->num_keys <= MDB_MAX_IDX_COLS;
            for (unsigned int k = 0; known && k < idx->num_keys; ++k) {
                // The column by its number in the table's definition.
                int column = -1;
                for (unsigned int j = 0; j < t.def->num_cols; ++j)
                    if (static_cast<MdbColumn*>(g_ptr_array_index(t.def->columns, j))->col_num ==
                        idx->key_col_num[k] - 1)
                        column = static_cast<int>(j);
                known = column >= 0;
                index.keys.emplace_back(column, idx->key_col_order[k] == MDB_DESC);
            }
            if (known) r.indexes.push_back(index);
        }
    }
    return r;
}

void JetReader::readRows(const JetTable& table, const std::function<bool(const std::vector<Value>&)>& onRow) const {
    OpenTable t{openTable(h_->entry(table.name), table.name)};
    if (t.def->num_cols != table.columns.size()) damaged(table.name, QStringLiteral("sus columnas cambiaron"));
    h_->rows(t.def, table, onRow);
}

void JetReader::Handle::rows(MdbTableDef* def, const JetTable& table,
                             const std::function<bool(const std::vector<Value>&)>& onRow,
                             const std::vector<bool>& wanted) const {
    mdb_rewind_table(def);
    std::vector<MdbField> fields(def->num_cols);
    std::vector<Value> values(def->num_cols);
    long long read = 0;
    while (mdb_fetch_row(def)) {
        // The row libmdb just read, taken apart again to know each field's bytes and nullness.
        int start = 0;
        size_t length = 0;
        if (def->cur_row == 0 || mdb_find_row(mdb, static_cast<int>(def->cur_row) - 1, &start, &length) != 0)
            damaged(table.name, QStringLiteral("una fila que no está en su página"));
        start &= kOffsetMask;
        const int cracked = mdb_crack_row(def, start, length, fields.data());
        if (cracked != static_cast<int>(def->num_cols))
            damaged(table.name, QStringLiteral("una fila que no se puede leer"));
        for (const MdbField& f : fields) {
            if (f.colnum < 0 || f.colnum >= static_cast<int>(table.columns.size()))
                damaged(table.name, QStringLiteral("una fila con una columna de más"));
            const JetColumn& column = table.columns[static_cast<std::size_t>(f.colnum)];
            Value& v = values[static_cast<std::size_t>(f.colnum)];
            v = Value();
            if (column.type == JetType::YesNo) { // kept in the null mask: set is true
                v.kind = Value::Integer;
                v.integer = f.is_null ? 0 : -1;
                continue;
            }
            if (f.is_null || (!wanted.empty() && !wanted[static_cast<std::size_t>(f.colnum)])) continue;
            if (f.start < 0 || f.siz < 0 || f.start + f.siz > pageSize)
                damaged(table.name,
                        QStringLiteral("la columna %1 sale de su página").arg(command::shownName(column.name)));
            const auto* b = mdb->pg_buf + f.start;
            auto need = [&](int size) {
                if (f.siz != size)
                    damaged(table.name, QStringLiteral("la columna %1 tiene %2 bytes en vez de %3")
                                            .arg(command::shownName(column.name))
                                            .arg(f.siz)
                                            .arg(size));
            };
            switch (column.type) {
            case JetType::Byte:
                need(1);
                v.kind = Value::Integer;
                v.integer = b[0];
                break;
            case JetType::Integer:
                need(2);
                v.kind = Value::Integer;
                v.integer = static_cast<int16_t>(b[0] | b[1] << 8);
                break;
            case JetType::Long:
            case JetType::Complex:
                need(4);
                v.kind = Value::Integer;
                v.integer = static_cast<int32_t>(le32(b));
                break;
            case JetType::Currency: {
                need(8);
                const QString text = currencyText(static_cast<int64_t>(le64(b)));
                const DecimalValue d = decimalValue(text);
                v.kind = Value::Real;
                v.real = d.value;
                v.inexact = !d.exact;
                break;
            }
            case JetType::Single: {
                need(4);
                float single;
                std::memcpy(&single, b, 4);
                v.kind = Value::Real;
                v.real = single; // a single's binary value, widened exactly
                break;
            }
            case JetType::Double:
                need(8);
                v.kind = Value::Real;
                std::memcpy(&v.real, b, 8);
                break;
            case JetType::DateTime: {
                need(8);
                double serial;
                std::memcpy(&serial, b, 8);
                const QString text = jetDateText(serial);
                if (text.isEmpty()) { // a value no Jet date can be: kept as it is
                    v.kind = Value::Real;
                    v.real = serial;
                    v.inexact = true;
                } else {
                    v.kind = Value::Text;
                    v.bytes = text.toUtf8();
                }
                break;
            }
            case JetType::Binary:
                v.kind = Value::Blob;
                v.bytes = QByteArray(reinterpret_cast<const char*>(b), f.siz);
                break;
            case JetType::Text:
                v.kind = Value::Text;
                v.bytes = text(b, static_cast<std::size_t>(f.siz)).toUtf8();
                break;
            case JetType::Memo:
            case JetType::Ole: {
                unsigned char header[kMemoHeader] = {};
                std::memcpy(header, b, static_cast<std::size_t>(std::min(f.siz, kMemoHeader)));
                const bool inRow = f.siz >= kMemoHeader && (le32(header) & 0x80000000u);
                QByteArray bytes = inRow
                                       ? QByteArray(reinterpret_cast<const char*>(b) + kMemoHeader, f.siz - kMemoHeader)
                                       : longValue(table.name, header, f.siz);
                if (column.type == JetType::Ole) {
                    v.kind = Value::Blob;
                    v.bytes = std::move(bytes);
                } else {
                    v.kind = Value::Text;
                    v.bytes = text(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size()))
                                  .toUtf8();
                }
                break;
            }
            case JetType::ReplicationId:
                need(16);
                v.kind = Value::Text;
                v.bytes =
                    QString::asprintf("{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", le32(b), b[4] | b[5] << 8,
                                      b[6] | b[7] << 8, b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15])
                        .toUtf8();
                break;
            case JetType::Decimal: {
                need(17);
                const QString text = decimalText(b, column.scale);
                bool whole = false;
                const long long integer = text.toLongLong(&whole);
                if (whole) {
                    v.kind = Value::Integer;
                    v.integer = integer;
                } else {
                    const DecimalValue d = decimalValue(text);
                    v.kind = Value::Real;
                    v.real = d.value;
                    v.inexact = !d.exact;
                }
                break;
            }
            default:
                // A kind of column libmdb knows nothing of: its bytes, as they are.
                v.kind = Value::Blob;
                v.bytes = QByteArray(reinterpret_cast<const char*>(b), f.siz);
                break;
            }
        }
        ++read;
        if (!onRow(values)) return;
    }
    if (read >= static_cast<long long>(def->num_rows)) return;
    const QString what =
        table.name == QLatin1String(kCatalog)
            ? QStringLiteral("su catálogo (la tabla %1) está incompleto").arg(command::shownName(table.name))
            : QStringLiteral("la tabla %1 está incompleta").arg(command::shownName(table.name));
    throw DamagedFile(QStringLiteral("%1: su definición cuenta %2 filas y sólo se pudieron leer %3; el archivo está "
                                     "cortado o dañado (%4)")
                          .arg(what)
                          .arg(def->num_rows)
                          .arg(read)
                          .arg(QString::fromUtf8(kRepair))
                          .toStdString());
}

} // namespace importer

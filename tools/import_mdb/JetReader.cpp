#include "JetReader.h"
#include "JetValues.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstring>
#include <iconv.h>
#include <mdbtools.h>
#include <set>

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

QString quotedName(const QString& s) { return QLatin1Char('\'') + s + QLatin1Char('\''); }

// The first page of a Jet or ACE file: its signature, its engine, and its page size.
struct FileHeader {
    bool access = false;
    int version = -1;
    int pageSize = 0;
};

FileHeader headerOf(QFile& f) {
    FileHeader h;
    const QByteArray first = f.read(0x20);
    if (first.size() < 0x18 || !first.startsWith(QByteArray("\x00\x01\x00\x00", 4))) return h;
    const QByteArray engine = first.mid(4, 15);
    if (engine != "Standard Jet DB" && engine != "Standard ACE DB") return h;
    h.access = true;
    h.version = static_cast<unsigned char>(first[0x14]);
    h.pageSize = h.version == MDB_VER_JET3 ? 2048 : 4096;
    return h;
}

// The reason a value cannot be what its column says.
[[noreturn]] void damaged(const QString& table, const QString& why) {
    throw DamagedFile(QStringLiteral("la tabla %1 está dañada (%2)").arg(quotedName(table), why).toStdString());
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
    // `header` is the part kept in the row (copied: reading pages moves libmdb's buffers).
    QByteArray longValue(const QString& table, const unsigned char* header, int size) const {
        if (size < kMemoHeader) {
            if (size == 0) return {};
            damaged(table, QStringLiteral("un memo de %1 bytes").arg(size));
        }
        const uint32_t lengthAndFlags = le32(header);
        const uint32_t length = lengthAndFlags & 0x3fffffff;
        auto page = [&](int pgRow, QByteArray& into, bool chained) -> int {
            void* buf = nullptr;
            int offset = 0;
            size_t len = 0;
            if (mdb_find_pg_row(mdb, pgRow, &buf, &offset, &len) != 0 || !buf || offset < 0 ||
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
            return static_cast<int>(le32(p));
        };
        QByteArray value;
        if (lengthAndFlags & 0x40000000u) { // one page
            page(static_cast<int>(le32(header + 4)), value, false);
            return value;
        }
        if (lengthAndFlags & 0xc0000000u) damaged(table, QStringLiteral("un memo de una clase desconocida"));
        // A chain of pages, each naming the next: followed no further than its length allows,
        // and never twice through the same page.
        std::set<int> seen;
        for (int next = static_cast<int>(le32(header + 4)); next != 0;) {
            if (!seen.insert(next).second || value.size() > static_cast<qsizetype>(length))
                damaged(table, QStringLiteral("la cadena de páginas de un memo no termina"));
            next = page(next, value, true);
        }
        if (value.size() > static_cast<qsizetype>(length)) value.truncate(static_cast<qsizetype>(length));
        return value;
    }
};

bool JetReader::looksLikeAccess(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && headerOf(f).access;
}

JetReader::JetReader(const QString& path) : h_(std::make_unique<Handle>()) {
    h_->path = path;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw DamagedFile(QStringLiteral("no se puede leer (%1)").arg(f.errorString()).toStdString());
    const FileHeader header = headerOf(f);
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
    if (!mdb_read_catalog(h_->mdb, MDB_TABLE) || h_->mdb->num_catalog == 0)
        throw DamagedFile("está dañado: libmdb no puede leer su catálogo");
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

QStringList JetReader::userTables() const {
    QStringList names;
    for (unsigned int i = 0; i < h_->mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(h_->mdb->catalog, i));
        if (!entry || entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) continue;
        const QString name = QString::fromUtf8(entry->object_name);
        if (name.startsWith(QLatin1String("MSys"), Qt::CaseInsensitive)) continue; // the engine's own
        names << name;
    }
    return names;
}

namespace {

struct OpenTable {
    MdbTableDef* def = nullptr;
    ~OpenTable() {
        if (def) mdb_free_tabledef(def);
    }
};

MdbTableDef* openTable(MdbHandle* mdb, const QString& name) {
    MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb, name.toUtf8().constData());
    MdbTableDef* def = entry ? mdb_read_table(entry) : nullptr;
    if (!def || !mdb_read_columns(def))
        throw DamagedFile(
            QStringLiteral("no se puede leer la definición de la tabla %1").arg(quotedName(name)).toStdString());
    if (def->num_cols != def->columns->len || def->num_cols == 0 || def->num_cols > MDB_MAX_COLS)
        damaged(name, QStringLiteral("%1 columnas").arg(def->num_cols));
    return def;
}

} // namespace

JetTable JetReader::table(const QString& name) const {
    OpenTable t{openTable(h_->mdb, name)};
    JetTable r;
    r.name = name;
    r.rowCount = t.def->num_rows;
    const bool jet3 = h_->jet3();
    for (unsigned int i = 0; i < t.def->num_cols; ++i) {
        const auto* c = static_cast<MdbColumn*>(g_ptr_array_index(t.def->columns, i));
        JetColumn col;
        col.name = QString::fromUtf8(c->name);
        col.type = static_cast<JetType>(c->col_type);
        col.size = c->col_type == MDB_TEXT && !jet3 ? c->col_size / 2 : c->col_size;
        col.precision = c->col_prec;
        col.scale = c->col_scale;
        col.autoNumber = c->is_long_auto;
        r.columns.push_back(col);
    }
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
    MdbHandle* mdb = h_->mdb;
    OpenTable t{openTable(mdb, table.name)};
    if (t.def->num_cols != table.columns.size()) damaged(table.name, QStringLiteral("sus columnas cambiaron"));
    mdb_rewind_table(t.def);
    std::vector<MdbField> fields(t.def->num_cols);
    std::vector<Value> values(t.def->num_cols);
    const int pageSize = h_->pageSize;
    while (mdb_fetch_row(t.def)) {
        // The row libmdb just read, taken apart again to know each field's bytes and nullness.
        int start = 0;
        size_t length = 0;
        if (t.def->cur_row == 0 || mdb_find_row(mdb, static_cast<int>(t.def->cur_row) - 1, &start, &length) != 0)
            damaged(table.name, QStringLiteral("una fila que no está en su página"));
        start &= kOffsetMask;
        const int cracked = mdb_crack_row(t.def, start, length, fields.data());
        if (cracked != static_cast<int>(t.def->num_cols))
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
            if (f.is_null) continue;
            if (f.start < 0 || f.siz < 0 || f.start + f.siz > pageSize)
                damaged(table.name, QStringLiteral("la columna %1 sale de su página").arg(quotedName(column.name)));
            const auto* b = mdb->pg_buf + f.start;
            auto need = [&](int size) {
                if (f.siz != size)
                    damaged(table.name, QStringLiteral("la columna %1 tiene %2 bytes en vez de %3")
                                            .arg(quotedName(column.name))
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
                v.bytes = h_->text(b, static_cast<std::size_t>(f.siz)).toUtf8();
                break;
            case JetType::Memo:
            case JetType::Ole: {
                unsigned char header[kMemoHeader] = {};
                std::memcpy(header, b, static_cast<std::size_t>(std::min(f.siz, kMemoHeader)));
                const bool inRow = f.siz >= kMemoHeader && (le32(header) & 0x80000000u);
                QByteArray bytes = inRow
                                       ? QByteArray(reinterpret_cast<const char*>(b) + kMemoHeader, f.siz - kMemoHeader)
                                       : h_->longValue(table.name, header, f.siz);
                if (column.type == JetType::Ole) {
                    v.kind = Value::Blob;
                    v.bytes = std::move(bytes);
                } else {
                    v.kind = Value::Text;
                    v.bytes = h_->text(reinterpret_cast<const unsigned char*>(bytes.constData()),
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
        if (!onRow(values)) return;
    }
}

} // namespace importer

#include "GrowJet.h"

#include <QFile>
#include <cstdio>
#include <mdbtools.h>
#include <vector>

namespace sample {

namespace {
uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
} // namespace

bool growJetFile(const QString& seed, const char* kTable, const QString& path, long long rows) {
    const QString work = path + QStringLiteral(".new");
    QFile::remove(work);
    if (!QFile::copy(seed, work)) return false;
    QFile(work).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // 1. The table's data page filled by libmdb's writer, with copies of its first row.
    {
        MdbHandle* mdb = mdb_open(QFile::encodeName(work).constData(), MDB_WRITABLE);
        if (!mdb) return false;
        mdb_read_catalog(mdb, MDB_TABLE);
        MdbTableDef* t = mdb_read_table_by_name(mdb, const_cast<gchar*>(kTable), MDB_TABLE);
        mdb_read_columns(t);
        mdb_read_indices(t);
        mdb_rewind_table(t);
        if (!mdb_fetch_row(t)) return false;
        int start = 0;
        size_t length = 0;
        mdb_find_row(mdb, static_cast<int>(t->cur_row) - 1, &start, &length);
        std::vector<MdbField> fields(t->num_cols);
        const int n = mdb_crack_row(t, start & 0x1fff, length, fields.data());
        std::vector<std::vector<unsigned char>> copies(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            if (!fields[i].is_null && fields[i].siz > 0) {
                copies[i].assign(static_cast<unsigned char*>(fields[i].value),
                                 static_cast<unsigned char*>(fields[i].value) + fields[i].siz);
                fields[i].value = copies[i].data();
            }
        // Until the page is full: libmdb's writer does not add pages of its own.
        std::fprintf(stderr, "(libmdb says \"Unable to allocate new page\" once the page is full)\n");
        while (mdb_insert_row(t, n, fields.data())) {
        }
        mdb_free_tabledef(t);
        mdb_close(mdb);
    }
    // 2. Where that page and the table's page map are.
    long long perPage = 0;
    int dataPage = 0, tdefPage = 0;
    {
        MdbHandle* mdb = mdb_open(QFile::encodeName(work).constData(), MDB_NOFLAGS);
        mdb_read_catalog(mdb, MDB_TABLE);
        MdbTableDef* t = mdb_read_table_by_name(mdb, const_cast<gchar*>(kTable), MDB_TABLE);
        mdb_read_columns(t);
        mdb_rewind_table(t);
        while (mdb_fetch_row(t))
            ++perPage;
        dataPage = static_cast<int>(t->cur_phys_pg);
        tdefPage = static_cast<int>(t->entry->table_pg);
        mdb_free_tabledef(t);
        mdb_close(mdb);
    }
    QFile f(work);
    if (!f.open(QIODevice::ReadWrite) || perPage <= 0) return false;
    constexpr int kPage = 4096;
    f.seek(qint64(dataPage) * kPage);
    const QByteArray page = f.read(kPage);
    f.seek(qint64(tdefPage) * kPage);
    const QByteArray tdef = f.read(kPage);
    const auto* td = reinterpret_cast<const unsigned char*>(tdef.constData());
    const uint32_t mapRow = le32(td + 55); // the usage map's page and row (Jet 4)
    // 3. The page again and again, at the end of the file, and the table's count of rows to match.
    f.seek(f.size());
    long long have = perPage;
    for (; have < rows; have += perPage)
        f.write(page);
    if (have > 0xffffffffLL) return false;
    const auto count = static_cast<uint32_t>(have);
    const char counted[4] = {static_cast<char>(count & 0xff), static_cast<char>((count >> 8) & 0xff),
                             static_cast<char>((count >> 16) & 0xff), static_cast<char>(count >> 24)};
    f.seek(qint64(tdefPage) * kPage + 16); // the definition's count of rows (Jet 4)
    f.write(counted, 4);
    // 4. The map marked as one of a kind libmdb does not know: it reads every page instead.
    QByteArray mapPage;
    f.seek(qint64(mapRow >> 8) * kPage);
    mapPage = f.read(kPage);
    const auto* mp = reinterpret_cast<const unsigned char*>(mapPage.constData());
    const int rowStart = (mp[14 + 2 * (mapRow & 0xff)] | mp[15 + 2 * (mapRow & 0xff)] << 8) & 0x1fff;
    f.seek(qint64(mapRow >> 8) * kPage + rowStart);
    f.write("\x7f", 1);
    f.close();
    QFile::remove(path);
    return QFile::rename(work, path);
}

} // namespace sample

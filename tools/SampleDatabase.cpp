#include "SampleDatabase.h"
#include "schema/Schema.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <sqlite3.h>
#include <vector>

namespace sample {

namespace {

// splitmix64: small, fast and the same everywhere.
struct Random {
    uint64_t s;
    uint64_t next() {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int64_t below(int64_t n) { return static_cast<int64_t>(next() % static_cast<uint64_t>(n)); }
    double uniform() { return (next() >> 11) * (1.0 / 9007199254740992.0); }
};

const char* kNames[] = {"Tornillo",    "Tuerca",   "Arandela",       "Bombilla",      "Cable",          "Enchufe",
                        "Interruptor", "Martillo", "Destornillador", "Llave inglesa", "Cinta aislante", "Pintura",
                        "Brocha",      "Rodillo",  "Taco",           "Clavo",         "Bisagra",        "Cerradura",
                        "Candado",     "Manguera", "Alicates",       "Nivel",         "Sierra"};
const char* kQualifiers[] = {"de acero", "de latón", "pequeño",   "grande",    "blanco",      "negro",
                             "de 10 mm", "de 20 mm", "reforzado", "económico", "galvanizado", "para exterior"};
const char* kFamilies[] = {"FERRETERÍA", "ELECTRICIDAD", "PINTURA", "JARDÍN", "HERRAMIENTAS"};
const char* kSuppliers[] = {"Suministros García S.L.", "Hierros del Norte", "Distribuciones Peña", "Eléctrica Martínez",
                            "Almacenes Ibáñez"};

// Codes of a real shop's file are not all tidy: a few carry apostrophes, blanks or accents.
std::string code(int64_t i) {
    char buf[32];
    switch (i % 97) {
    case 13: std::snprintf(buf, sizeof buf, "O'NEIL-%06lld", static_cast<long long>(i)); break;
    case 41: std::snprintf(buf, sizeof buf, "PEÑA %06lld", static_cast<long long>(i)); break;
    default: std::snprintf(buf, sizeof buf, "A%07lld", static_cast<long long>(i)); break;
    }
    return buf;
}

bool exec(sqlite3* db, const char* sql, std::string& error) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) == SQLITE_OK) return true;
    error = msg ? msg : "error";
    sqlite3_free(msg);
    return false;
}

} // namespace

std::string generate(const std::string& path, const Size& size) {
    namespace fs = std::filesystem;
    if (fs::exists(path)) return "already exists: " + path;
    const std::string temporary = path + ".new";
    fs::remove(temporary);
    sqlite3* db = nullptr;
    if (sqlite3_open(temporary.c_str(), &db) != SQLITE_OK) return "cannot create " + temporary;
    std::string error;
    Random random{0x5EED0000ull + static_cast<uint64_t>(size.articles)};
    // The program's tables with some of a shop's other columns.
    const std::string tables =
        (schema::createTable(schema::articles(), {QStringLiteral("FAMILIA TEXT"), QStringLiteral("IVA REAL"),
                                                  QStringLiteral("STOCK INTEGER")}) +
         QLatin1Char(';') +
         schema::createTable(schema::entries(), {QStringLiteral("NUMENTRADA INTEGER PRIMARY KEY"),
                                                 QStringLiteral("cantidad REAL"), QStringLiteral("PROVEEDOR TEXT")}) +
         QLatin1Char(';'))
            .toStdString();
    bool ok = exec(
        db, ("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA page_size=4096;" + tables + "BEGIN;").c_str(),
        error);

    // Articles are stored in an order unrelated to their codes, as in a file that grew over years.
    std::vector<int64_t> order(static_cast<std::size_t>(size.articles));
    for (int64_t i = 0; i < size.articles; ++i)
        order[static_cast<std::size_t>(i)] = i;
    for (int64_t i = size.articles - 1; i > 0; --i)
        std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(random.below(i + 1))]);

    sqlite3_stmt* art = nullptr;
    sqlite3_stmt* ent = nullptr;
    if (ok) {
        sqlite3_prepare_v2(
            db,
            "INSERT INTO tblArticulos (CODARTI, NOMARTI, FAMILIA, margen1, margen2, margen3, costesiniva,"
            " ultimopreciocoste, pvp1, pvp2, pvp3, IVA, STOCK) VALUES (?,?,?,?,?,?,?,?,?,?,?,21,?)",
            -1, &art, nullptr);
        sqlite3_prepare_v2(db,
                           "INSERT INTO tblHistoricoEntradas (CODARTI, entro, cantidad, pvp, descuento, PROVEEDOR)"
                           " VALUES (?,?,?,?,?,?)",
                           -1, &ent, nullptr);
    }
    auto margin = [&](int k) {
        if (random.below(20) == 0)
            sqlite3_bind_null(art, k);
        else
            sqlite3_bind_double(art, k, static_cast<double>(random.below(9) * 5));
    };
    for (int64_t n = 0; ok && n < size.articles; ++n) {
        const int64_t i = order[static_cast<std::size_t>(n)];
        const std::string articleCode = code(i);
        const std::string name = std::string(kNames[random.below(std::size(kNames))]) + " " +
                                 kQualifiers[random.below(std::size(kQualifiers))];
        sqlite3_bind_text(art, 1, articleCode.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(art, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(art, 3, kFamilies[random.below(std::size(kFamilies))], -1, SQLITE_STATIC);
        margin(4);
        margin(5);
        margin(6);
        for (int k = 7; k <= 11; ++k)
            sqlite3_bind_double(art, k, 0);
        sqlite3_bind_int64(art, 12, random.below(200));
        ok = sqlite3_step(art) == SQLITE_DONE;
        sqlite3_reset(art);
    }
    // Entries: one article in ten, spread over the catalogue, has none (codes ending in 7).
    for (int64_t e = 0; ok && size.articles > 0 && e < size.entries; ++e) {
        int64_t i = random.below(size.articles);
        if (i % 10 == 7) --i;
        std::string entryCode = code(i);
        // Codes compare without regard to case, as in the shop's original database: some entries
        // carry the article's code in small letters.
        if (i % 89 == 5)
            for (char& ch : entryCode)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        char date[32];
        std::snprintf(date, sizeof date, "20%02d-%02d-%02d %02d:%02d:00", static_cast<int>(15 + random.below(11)),
                      static_cast<int>(1 + random.below(12)), static_cast<int>(1 + random.below(28)),
                      static_cast<int>(8 + random.below(10)), static_cast<int>(random.below(60)));
        sqlite3_bind_text(ent, 1, entryCode.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ent, 2, date, -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(ent, 3, static_cast<double>(1 + random.below(50)));
        sqlite3_bind_double(ent, 4, static_cast<double>(50 + random.below(20000)) / 100.0);
        if (random.below(8) == 0)
            sqlite3_bind_null(ent, 5);
        else
            sqlite3_bind_double(ent, 5, static_cast<double>(random.below(6) * 5));
        sqlite3_bind_text(ent, 6, kSuppliers[random.below(std::size(kSuppliers))], -1, SQLITE_STATIC);
        ok = sqlite3_step(ent) == SQLITE_DONE;
        sqlite3_reset(ent);
    }
    if (!ok && error.empty()) error = sqlite3_errmsg(db);
    sqlite3_finalize(art);
    sqlite3_finalize(ent);
    const std::string indexes = (schema::createIndex(schema::articles()) + QLatin1Char(';') +
                                 schema::createIndex(schema::entries()) + QLatin1Char(';'))
                                    .toStdString();
    ok = ok && exec(db, ("COMMIT;" + indexes + "PRAGMA journal_mode=DELETE;").c_str(), error);
    sqlite3_close(db);
    if (!ok) {
        fs::remove(temporary);
        return error;
    }
    fs::rename(temporary, path);
    return {};
}

} // namespace sample

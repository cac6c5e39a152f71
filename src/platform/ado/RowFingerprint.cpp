#include "platform/ado/RowFingerprint.h"

#include <sqlite3.h>

namespace ado {

namespace {

void fingerprintOf(sqlite3_context* context, int argc, sqlite3_value** argv) {
    RowFingerprint fp;
    for (int i = 0; i < argc; ++i) {
        sqlite3_value* v = argv[i];
        switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER: fp.addInteger(sqlite3_value_int64(v)); break;
        case SQLITE_FLOAT: fp.addReal(sqlite3_value_double(v)); break;
        case SQLITE_TEXT: {
            const unsigned char* text = sqlite3_value_text(v); // before its length: the order the engine asks
            fp.addText(text, sqlite3_value_bytes(v));
            break;
        }
        case SQLITE_BLOB: {
            const void* blob = sqlite3_value_blob(v);
            fp.addBlob(blob, sqlite3_value_bytes(v));
            break;
        }
        default: fp.addNull(); break;
        }
    }
    sqlite3_result_int64(context, static_cast<sqlite3_int64>(fp.value()));
}

} // namespace

void RowFingerprint::registerWith(sqlite3* db) {
    sqlite3_create_function_v2(db, kFunction, -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr,
                               fingerprintOf, nullptr, nullptr, nullptr);
}

} // namespace ado

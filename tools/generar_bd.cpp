// Writes the sample database: generar_bd RUTA [ARTICULOS [ENTRADAS]].
// An existing file is never touched.
#include "Muestra.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: generar_bd RUTA [ARTICULOS [ENTRADAS]]\n");
        return 2;
    }
    muestra::Tamano t;
    if (argc > 2) t.articlesRecordset = std::atoll(argv[2]);
    if (argc > 3)
        t.entriesRecordset = std::atoll(argv[3]);
    else if (argc > 2)
        t.entriesRecordset = t.articlesRecordset * 5;
    if (t.articlesRecordset < 0 || t.entriesRecordset < 0) {
        std::fprintf(stderr, "los tamaños no pueden ser negativos\n");
        return 2;
    }
    const std::string error = muestra::generar(argv[1], t);
    if (!error.empty()) {
        std::fprintf(stderr, "generar_bd: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %lld artículos, %lld entradas\n", argv[1], static_cast<long long>(t.articlesRecordset),
                static_cast<long long>(t.entriesRecordset));
    return 0;
}

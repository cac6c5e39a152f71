// Writes the sample database: sample_db PATH [ARTICLES [ENTRIES]].
// An existing file is never touched.
#include "SampleDatabase.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sample_db PATH [ARTICLES [ENTRIES]]\n");
        return 2;
    }
    sample::Size t;
    if (argc > 2) t.articles = std::atoll(argv[2]);
    if (argc > 3)
        t.entries = std::atoll(argv[3]);
    else if (argc > 2)
        t.entries = t.articles * 5;
    if (t.articles < 0 || t.entries < 0) {
        std::fprintf(stderr, "sizes cannot be negative\n");
        return 2;
    }
    const std::string error = sample::generate(argv[1], t);
    if (!error.empty()) {
        std::fprintf(stderr, "sample_db: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %lld articles, %lld entries\n", argv[1], static_cast<long long>(t.articles),
                static_cast<long long>(t.entries));
    return 0;
}

// Preloaded into another program (the converter), the failing disk of FaultyVfs armed from the
// environment: ZUK_FAULT=KIND:N:once|lasting:ioerr|full, KIND being write, sync or truncate. With
// ZUK_FAULT_COUNTS=FILE, the program's writes, syncs and truncates are written there as it ends.
#include "FaultyVfs.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

__attribute__((constructor)) void armFromEnvironment() {
    const char* said = std::getenv("ZUK_FAULT");
    if (!said) return;
    std::string s = said;
    auto next = [&s]() {
        const auto colon = s.find(':');
        std::string part = s.substr(0, colon);
        s = colon == std::string::npos ? std::string() : s.substr(colon + 1);
        return part;
    };
    testing::faults::Plan plan;
    const std::string kind = next();
    plan.op = kind == "sync"       ? testing::faults::Op::Sync
              : kind == "truncate" ? testing::faults::Op::Truncate
                                   : testing::faults::Op::Write;
    plan.nth = std::atoi(next().c_str());
    plan.lasting = next() == "lasting";
    plan.full = next() == "full";
    testing::faults::install();
    testing::faults::arm(plan);
}

__attribute__((destructor)) void writeCounts() {
    const char* file = std::getenv("ZUK_FAULT_COUNTS");
    if (!file || !std::getenv("ZUK_FAULT")) return;
    if (std::FILE* f = std::fopen(file, "w")) {
        std::fprintf(f, "%d %d %d", testing::faults::count(testing::faults::Op::Write),
                     testing::faults::count(testing::faults::Op::Sync),
                     testing::faults::count(testing::faults::Op::Truncate));
        std::fclose(f);
    }
}

} // namespace

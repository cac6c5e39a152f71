#include "command/Interrupt.h"

#include <csignal>

namespace command {

namespace {
std::atomic<bool> asked{false}; // set from the signal handler: it must need no lock
static_assert(std::atomic<bool>::is_always_lock_free);
extern "C" void onInterrupt(int) { asked = true; }
} // namespace

void listenForInterrupt() {
    struct sigaction stop {};
    stop.sa_handler = onInterrupt;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
}

bool interrupted() { return asked; }

const std::atomic<bool>& interruptFlag() { return asked; }

} // namespace command

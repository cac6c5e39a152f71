#pragma once
// Ctrl+C (SIGINT) and SIGTERM, heard rather than obeyed: once listenForInterrupt() has run, a
// signal only sets a flag, and the program stops at its next safe point, leaves every file as it
// was (an unfinished file is removed, an open transaction rolled back) and ends with
// kInterrupted. A child process made after it inherits the same handling.
#include <atomic>

namespace command {

void listenForInterrupt();
bool interrupted();
// For code that polls it: a loop over rows, an SQLite progress handler (which returns non-zero to
// stop the statement, then rolled back).
const std::atomic<bool>& interruptFlag();

} // namespace command

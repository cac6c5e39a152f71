#pragma once
// Points at which the program is about to wait for the operator (a modal box, a dialog).
// Layers that hold shared resources, such as a write lock on the database file, register here
// to let them go before the wait.
#include <functional>

namespace runtime {

using WaitId = int;
WaitId onOperatorWait(std::function<void()> action);
void removeOperatorWait(WaitId id);
void beforeOperatorWait();

} // namespace runtime

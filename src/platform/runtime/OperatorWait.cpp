#include "platform/runtime/OperatorWait.h"

#include <map>
#include <utility>

namespace runtime {

namespace {
std::map<WaitId, std::function<void()>>& actions() {
    static std::map<WaitId, std::function<void()>> m;
    return m;
}
WaitId next = 1;
} // namespace

WaitId onOperatorWait(std::function<void()> action) {
    actions().emplace(next, std::move(action));
    return next++;
}

void removeOperatorWait(WaitId id) { actions().erase(id); }

namespace {
QStringList& messages() {
    static QStringList m;
    return m;
}
} // namespace

void tellOperator(const QString& message) { messages() << message; }

QStringList takeMessagesForOperator() { return std::exchange(messages(), {}); }

void beforeOperatorWait() {
    const auto copy = actions(); // an action may unregister itself
    for (const auto& [id, action] : copy)
        action();
}

} // namespace runtime

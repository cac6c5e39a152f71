#include "platform/runtime/OperatorWait.h"

#include <map>
#include <utility>

namespace runtime {

namespace {
std::map<WaitId, std::function<void(bool)>>& actions() {
    static std::map<WaitId, std::function<void(bool)>> m;
    return m;
}
WaitId next = 1;
} // namespace

WaitId onOperatorWait(std::function<void(bool)> action) {
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

namespace {
std::function<void(const QString&)>& teller() {
    static std::function<void(const QString&)> t;
    return t;
}
} // namespace

void setOperatorTeller(std::function<void(const QString&)> t) { teller() = std::move(t); }

void tellOperatorNow(const QString& message) {
    if (teller())
        teller()(message);
    else
        tellOperator(message);
}

QStringList takeMessagesForOperator() { return std::exchange(messages(), {}); }

void beforeOperatorWait(bool programEnds) {
    const auto copy = actions(); // an action may unregister itself
    for (const auto& [id, action] : copy)
        action(programEnds);
}

} // namespace runtime

#pragma once
// Points at which the program is about to wait for the operator (a modal box, a dialog).
// Layers that hold shared resources, such as a write lock on the database file, register here
// to let them go before the wait.
#include <QString>
#include <QStringList>
#include <functional>

namespace runtime {

using WaitId = int;
WaitId onOperatorWait(std::function<void()> action);
void removeOperatorWait(WaitId id);
void beforeOperatorWait();

// Something the operator must hear at the next wait, when nothing can be done about it any more
// (a box with an OK button says it).
void tellOperator(const QString& message);
QStringList takeMessagesForOperator();

} // namespace runtime

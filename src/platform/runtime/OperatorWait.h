#pragma once
// Points at which the program is about to wait for the operator (a modal box, a dialog), or is
// about to end. Layers that hold shared resources, such as the database's writes that wait in the
// program, register here to settle them before the wait. An action that cannot fails with a
// description that tells the operator what to do before trying again (see ui::beforeOperatorWait).
#include <QString>
#include <QStringList>
#include <functional>

namespace runtime {

using WaitId = int;
WaitId onOperatorWait(std::function<void(bool programEnds)> action);
void removeOperatorWait(WaitId id);
void beforeOperatorWait(bool programEnds = false);

// Something the operator must hear at the next wait, when nothing can be done about it any more
// (a box with an OK button says it).
void tellOperator(const QString& message);
QStringList takeMessagesForOperator();

// Something the operator must hear before the program goes on (a warning): told at once where the
// program can show a box (see setOperatorTeller), otherwise at the next wait.
void tellOperatorNow(const QString& message);
void setOperatorTeller(std::function<void(const QString&)> teller);

} // namespace runtime

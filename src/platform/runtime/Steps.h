#pragma once
// The run-time's failure handling, step by step. A procedure is written as its numbered steps:
// the body performs exactly the step it is given and returns the number of the next one (usually
// the following number; a test returns its branch target; kEnd leaves the procedure).
//
// When a step fails, the rest of that step is abandoned and the handler decides: it returns the
// step to resume at (step + 1 is "resume next", and a failing test then falls into its block) or
// kEnd to leave. The handler runs outside the guarded region, so a failure raised while it runs
// goes to the caller. Values the failing step was to produce keep their previous contents, since
// a step assigns its results only once it has computed them.
//
// Any C++ exception of a step is a failure of that step: running out of memory is the run-time's
// error 7, anything else its internal error 51, so every procedure treats it like any other.
#include "platform/runtime/Failure.h"

#include <new>
#include <optional>

namespace runtime {

constexpr int kEnd = 0;

template <typename Body, typename Handler> void runSteps(int first, Body&& body, Handler&& handler) {
    int step = first;
    while (step != kEnd) {
        std::optional<Failure> failure;
        try {
            step = body(step);
            continue;
        } catch (const Failure& f) {
            failure = f;
        } catch (const std::bad_alloc&) {
            failure.emplace(err::OutOfMemory, descriptionOf(err::OutOfMemory));
        } catch (const std::exception& e) {
            failure.emplace(err::InternalError, descriptionOf(err::InternalError) + QStringLiteral(" (") +
                                                    QString::fromLocal8Bit(e.what()) + QLatin1Char(')'));
        } catch (...) {
            failure.emplace(err::InternalError, descriptionOf(err::InternalError));
        }
        step = handler(step, *failure);
    }
}

// "On Error Resume Next": every failing step is skipped silently.
template <typename Body> void runStepsSkippingFailures(int first, Body&& body) {
    runSteps(first, body, [](int step, const Failure&) { return step + 1; });
}

} // namespace runtime

#pragma once
// Centring a window on the screen or on another window.
#include "platform/runtime/FieldValue.h"
#include "platform/ui/Screen.h"

#include <QObject>
#include <variant>

namespace util::basForm {

// The optional reference: left out, the screen, an object (a window, or anything else), a value.
using Reference = std::variant<std::monostate, ui::Screen, QObject*, runtime::FieldValue>;

// Moves an ordinary or MDI parent window to the middle of the reference (the screen when left
// out). Anything that is not such a window, or a reference that is neither the screen nor such a
// window, leaves everything where it was.
void CentrarFrm(QObject* frm, const Reference& reference = std::monostate{});

} // namespace util::basForm

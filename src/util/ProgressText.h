#pragma once
// The progress text that both the main window and the progress window show:
// TEXTO, four blanks, the percentage written with "###", and "%".
#include "errors/Identities.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace util {

QString progressText(const QString& TEXTO, double percentage);

// The guarded steps of a window's progreso: the percentage value × 100 ÷ max (the product in
// 32-bit integers), the text, and where it goes: the caption when donde is true, else the label.
void progreso(const errors::Identity& identity, int32_t value, int32_t max, const bool& donde, const QString& TEXTO,
              const std::function<void(const QString&)>& toCaption, const std::function<void(const QString&)>& toLabel);

} // namespace util

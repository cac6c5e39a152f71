#pragma once
// The application object: its folder, its executable's name and its title.
#include <QString>

namespace ui::App {

QString Path();    // the executable's folder, without a trailing separator except at the root
QString EXEName(); // the executable's name without extension
QString Title();   // the product name, "ZUK"

} // namespace ui::App

#pragma once
// The application object: its folder, its executable's name and its title.
#include <QString>

namespace ui::App {

QString Path();    // the executable's folder, without a trailing separator except at the root
QString EXEName(); // the executable's name without extension
QString Title();   // the product name, "ZUK"

// Before the application object is made: where the session gives no runtime folder (a root
// shell, a service), the program takes one of its own, private to its user, rather than the
// shared default Qt warns about.
void useRuntimeFolder();
// Once the application object is made: plugins come from Qt's own folder (and those the user's
// QT_PLUGIN_PATH names), never from the executable's folder, which Qt adds to its plugin folders
// as it makes the application object. The program's folder is shared with the shop's group,
// whose members may add files there. (What Qt loads while it makes the application object, the
// platform and its theme and input method, it also looks for there: the package makes those
// plugin folders beside the program, root's and empty, so that no member can fill them.)
void usePluginsOfQtOnly();

} // namespace ui::App

#pragma once
// The screen object: its size in twips, and the application-wide mouse pointer.
namespace ui {

struct Screen {
    static double Width();
    static double Height();

    enum : int { vbDefault = 0, vbHourglass = 11 };
    static int MousePointer();
    static void setMousePointer(int pointer); // any other value shows the default pointer
};

} // namespace ui

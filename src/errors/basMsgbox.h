#pragma once
// The standard message box with up to three of its buttons relabelled. A CBT hook bound to this
// thread is installed just before the box is shown; when the box's window is activated the hook
// procedure renames the buttons and removes itself.
#include "platform/winapi/User32.h"

#include <QString>
#include <cstdint>

namespace errors::basMsgbox {

extern int32_t ButtonId1;
extern QString ButtonCaption1;
extern int32_t ButtonId2; // 0: none
extern QString ButtonCaption2;
extern int32_t ButtonId3; // 0: none
extern QString ButtonCaption3;
extern winapi::HHOOK hHook;

int32_t MsgBoxExText(const QString& prompt, const int32_t& buttons, const QString& title, const int32_t& id1,
                     const QString& caption1, const int32_t& id2, const QString& caption2, const int32_t& id3,
                     const QString& caption3);
void Hook();
winapi::LRESULT winProc(int32_t code, int32_t wParam, int32_t lParam);

} // namespace errors::basMsgbox

#pragma once
// The user32 calls the program makes, over Qt: the thread's computer-based-training hook, the
// text of a dialog's item, and window handles.
//
// The CBT hook is raised with code HCBT_ACTIVATE and the window's handle when a top-level window
// of the thread is shown, before its first paint, so the operator never sees the texts a hook
// procedure replaces. A message box's buttons are its items: their identifiers are the box's
// result codes.
#include <QString>
#include <cstdint>

class QWidget;

namespace winapi {

using HWND = int32_t;
using HHOOK = int32_t;
using LRESULT = int32_t;
using HOOKPROC = LRESULT (*)(int32_t code, int32_t wParam, int32_t lParam);

constexpr int32_t WH_CBT = 5;
constexpr int32_t HCBT_ACTIVATE = 5;

constexpr uint8_t VK_MENU = 0x12;     // Alt
constexpr uint8_t VK_SNAPSHOT = 0x2C; // Print Screen
constexpr uint32_t KEYEVENTF_KEYUP = 2;

HHOOK SetWindowsHookExA(int32_t idHook, HOOKPROC lpfn, int32_t hmod, uint32_t dwThreadId);
int32_t UnhookWindowsHookEx(HHOOK hhk);
// The text goes through the narrow code page (Windows-1252): characters outside it become "?".
int32_t SetDlgItemTextA(HWND hDlg, int32_t nIDDlgItem, const QString& lpString);
uint32_t GetCurrentThreadId();

// A synthetic key event. The platform's own reaction to Print Screen is reproduced: pressed while
// Alt is held down, it puts a picture of the active window, frame included where the platform
// draws one, on the clipboard as a bitmap; pressed alone, a picture of the whole screen. With no
// active window the clipboard keeps what it had. Other keys are not passed on.
void keybd_event(uint8_t bVk, uint8_t bScan, uint32_t dwFlags, uintptr_t dwExtraInfo);

HWND hwndOf(QWidget* window);
QWidget* windowOf(HWND hwnd);
bool isHookInstalled(HHOOK hhk);
int installedHookCount();

QString throughCodePage1252(const QString& text);

} // namespace winapi

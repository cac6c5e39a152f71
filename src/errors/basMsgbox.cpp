#include "errors/basMsgbox.h"
#include "errors/Protocol.h"
#include "platform/ui/MsgBox.h"

namespace errors::basMsgbox {

int32_t ButtonId1 = 0;
QString ButtonCaption1;
int32_t ButtonId2 = 0;
QString ButtonCaption2;
int32_t ButtonId3 = 0;
QString ButtonCaption3;
winapi::HHOOK hHook = 0;

int32_t MsgBoxExText(const QString& prompt, const int32_t& buttons, const QString& title, const int32_t& id1,
                     const QString& caption1, const int32_t& id2, const QString& caption2, const int32_t& id3,
                     const QString& caption3) {
    int32_t result = 0;
    errors::runGuarded(errors::id::MsgBoxExText, [&](int step) -> int {
        switch (step) {
        case 1: ButtonId1 = id1; break;
        case 2: ButtonCaption1 = caption1; break;
        case 3: ButtonId2 = id2; break;
        case 4: ButtonCaption2 = caption2; break;
        case 5: ButtonId3 = id3; break;
        case 6:
            ButtonCaption3 = caption3;
            // Whatever the platform shows before a box waits (a database that cannot save its
            // changes) comes now: the hook relabels the first window that opens after it.
            ui::beforeOperatorWait();
            break;
        case 7: Hook(); break;
        case 8: result = ui::MsgBox(prompt, buttons, title); break;
        case 9:
            // A box that was never activated leaves its hook behind: remove it, so that no later
            // window of the thread is relabelled.
            if (winapi::isHookInstalled(hHook)) winapi::UnhookWindowsHookEx(hHook);
            return runtime::kEnd;
        default: return runtime::kEnd;
        }
        return step + 1;
    });
    return result;
}

void Hook() {
    errors::runGuarded(errors::id::Hook, [&](int step) -> int {
        switch (step) {
        case 1:
            // One pending relabelled box at a time: a hook still waiting for its box (a box nested
            // inside another's relabelling) is removed before the new one takes its place.
            if (hHook != 0 && winapi::isHookInstalled(hHook)) winapi::UnhookWindowsHookEx(hHook);
            break;
        case 2:
            hHook = winapi::SetWindowsHookExA(winapi::WH_CBT, &winProc, 0, winapi::GetCurrentThreadId());
            return runtime::kEnd;
        default: return runtime::kEnd;
        }
        return step + 1;
    });
}

namespace {
// The steps of winProc that a jump names.
enum Step : int { kThirdPair = 5, kUnhook = 7, kReturn = 11 };
} // namespace

winapi::LRESULT winProc(int32_t code, int32_t wParam, int32_t) {
    winapi::LRESULT result = 0;
    errors::runGuarded(errors::id::winProc, [&](int step) -> int {
        switch (step) {
        case 1: return code == winapi::HCBT_ACTIVATE ? step + 1 : kReturn;
        case 2: winapi::SetDlgItemTextA(wParam, ButtonId1, ButtonCaption1); break;
        case 3: return ButtonId2 != 0 ? step + 1 : kThirdPair;
        case 4: winapi::SetDlgItemTextA(wParam, ButtonId2, ButtonCaption2); break;
        case kThirdPair: return ButtonId3 != 0 ? step + 1 : kUnhook;
        case 6: winapi::SetDlgItemTextA(wParam, ButtonId3, ButtonCaption3); break;
        case kUnhook: winapi::UnhookWindowsHookEx(hHook); break;
        case 8: ButtonCaption1.clear(); break;
        case 9: ButtonCaption2.clear(); break;
        case 10: ButtonCaption3.clear(); break;
        case kReturn: result = 0; return runtime::kEnd;
        default: return runtime::kEnd;
        }
        return step + 1;
    });
    return result;
}

} // namespace errors::basMsgbox

#include "report/basCapturaPantalla.h"
#include "errors/Protocol.h"
#include "forms/errorpreview/frmPrevioErrHandler.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/Events.h"
#include "platform/ui/Screen.h"
#include "platform/winapi/User32.h"

namespace report::basCapturaPantalla {

runtime::FieldValue capturapantalla(const QString& modulo, const QString& procedimiento, const QString& descripcion) {
    forms::frmPrevioErrHandler* preview = nullptr;
    bool shown = false;
    auto window = [&]() -> forms::frmPrevioErrHandler& {
        if (!preview) runtime::raise(runtime::err::ObjectNotSet);
        return *preview;
    };
    errors::runGuarded(errors::id::capturapantalla, [&](int step) -> int {
        switch (step) {
        // A new window, loaded unseen: the image folder and the report's name exist from now on.
        case 1: preview = new forms::frmPrevioErrHandler; break;
        case 2: window().Load(); break;
        case 3: ui::Screen::setMousePointer(ui::Screen::vbHourglass); break;
        case 4: ui::DoEvents(); break;
        // Alt + Print Screen: the platform copies the active window to the clipboard.
        case 5: winapi::keybd_event(winapi::VK_MENU, 0, 0, 0); break;
        case 6: ui::DoEvents(); break;
        case 7: winapi::keybd_event(winapi::VK_SNAPSHOT, 1, 0, 0); break;
        case 8: ui::DoEvents(); break;
        case 9: winapi::keybd_event(winapi::VK_MENU, 0, winapi::KEYEVENTF_KEYUP, 0); break;
        case 10: ui::DoEvents(); break;
        case 11: window().HiddenPict->setPicture(ui::Clipboard::GetData(ui::Clipboard::vbCFBitmap)); break;
        case 12: window().Image1->setPicture(window().HiddenPict->picture()); break;
        case 13: ui::Screen::setMousePointer(ui::Screen::vbDefault); break;
        case 14:
            window().texterror->setText(modulo + QLatin1Char(' ') + procedimiento + QLatin1Char(' ') + descripcion);
            break;
        case 15:
            // Without an owner and without modality: the window lives on by itself.
            window().show();
            shown = true;
            break;
        case 16: window().lower(); break; // to the bottom of the window order
        case 17: preview = nullptr; return runtime::kEnd;
        default: return runtime::kEnd;
        }
        return step + 1;
    });
    // A window the report never showed is let go with the reference, so that nobody is left
    // with an invisible window.
    if (preview && !shown) delete preview;
    return runtime::FieldValue();
}

void startReport(const QString& moduleName, const QString& procedureName, const QString& description) {
    capturapantalla(moduleName, procedureName, description);
}

} // namespace report::basCapturaPantalla

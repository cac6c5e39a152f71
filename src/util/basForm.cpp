#include "util/basForm.h"
#include "errors/Protocol.h"
#include "platform/runtime/Conversions.h"
#include "platform/ui/Form.h"

namespace util::basForm {

namespace {

ui::Form* asWindow(QObject* o) { return qobject_cast<ui::Form*>(o); }

bool isWindowReference(const Reference& r) {
    if (std::holds_alternative<ui::Screen>(r)) return true;
    if (const auto* o = std::get_if<QObject*>(&r)) return asWindow(*o) != nullptr;
    return false;
}

// The frame of reference: the screen, or a window.
struct FrameOfReference {
    bool screen = false;
    ui::Form* window = nullptr;
    bool isSet() const { return screen || window; }
    double Width() const {
        if (!isSet()) runtime::raise(runtime::err::ObjectNotSet);
        return screen ? ui::Screen::Width() : window->Width();
    }
    double Height() const {
        if (!isSet()) runtime::raise(runtime::err::ObjectNotSet);
        return screen ? ui::Screen::Height() : window->Height();
    }
};

} // namespace

// The steps that a jump names. They are finer than the procedure's eight: its second step holds
// two tests (left out? a window or the screen?), and so does its fifth (offsets, then a window?).
enum Step : int { kScreen = 3, kReferenceTest = 5, kOffsets = 8, kMove = 11 };

void CentrarFrm(QObject* frm, const Reference& reference) {
    FrameOfReference frame;
    int16_t leftOffset = 0, topOffset = 0;
    ui::Form* window = asWindow(frm);
    errors::runGuarded(errors::id::CentrarFrm, [&](int step) -> int {
        switch (step) {
        case 1: return window ? step + 1 : runtime::kEnd;
        case 2: return std::holds_alternative<std::monostate>(reference) ? kScreen : kReferenceTest;
        case kScreen: frame = FrameOfReference{true, nullptr}; break;
        case 4: return kOffsets;
        case kReferenceTest: return isWindowReference(reference) ? step + 1 : runtime::kEnd;
        case 6:
            if (std::holds_alternative<ui::Screen>(reference))
                frame = FrameOfReference{true, nullptr};
            else
                frame = FrameOfReference{false, asWindow(std::get<QObject*>(reference))};
            break;
        case 7: return kOffsets;
        case kOffsets:
            leftOffset = 0;
            topOffset = 0;
            return frame.window ? step + 1 : kMove;
        case 9: leftOffset = runtime::CInt(frame.window->Left()); break;
        case 10: topOffset = runtime::CInt(frame.window->Top()); break;
        case kMove: {
            if (!window) runtime::raise(runtime::err::ObjectNotSet);
            const double left = (frame.Width() - window->Width()) / 2 + leftOffset;
            const double top = (frame.Height() - window->Height()) / 2 + topOffset;
            window->Move(left, top);
            return runtime::kEnd;
        }
        default: return runtime::kEnd;
        }
        return step + 1;
    });
}

} // namespace util::basForm

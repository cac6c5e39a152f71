#include "platform/winapi/User32.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <vector>

namespace winapi {

namespace {

struct InstalledHook {
    HHOOK handle;
    int32_t type;
    HOOKPROC procedure;
    uint32_t thread;
};

std::vector<InstalledHook>& hooks() {
    static std::vector<InstalledHook> g;
    return g;
}

HHOOK nextHook = 0x100;

// Raises the CBT hooks of the thread when one of its top-level windows is shown.
class CbtFilter : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* event) override {
        if (event->type() != QEvent::Show || !obj->isWidgetType()) return false;
        auto* w = static_cast<QWidget*>(obj);
        if (!w->isWindow() || w->windowType() == Qt::ToolTip || w->windowType() == Qt::Popup) return false;
        const uint32_t thread = GetCurrentThreadId();
        const auto copy = hooks(); // a hook procedure may remove its own hook
        for (const InstalledHook& g : copy) {
            if (g.type != WH_CBT || g.thread != thread || !isHookInstalled(g.handle)) continue;
            g.procedure(HCBT_ACTIVATE, hwndOf(w), 0);
        }
        return false;
    }
};

void installFilter() {
    static QPointer<CbtFilter> filter;
    if (filter || !qApp) return;
    filter = new CbtFilter;
    filter->setParent(qApp);
    qApp->installEventFilter(filter);
}

QHash<HWND, QPointer<QWidget>>& windows() {
    static QHash<HWND, QPointer<QWidget>> v;
    return v;
}

// Windows-1252 at 0x80-0x9F; the rest of the code page is Latin-1.
const char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                            0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool inCodePage1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return true;
    for (char16_t a : kHigh)
        if (a && a == c) return true;
    return false;
}

} // namespace

uint32_t GetCurrentThreadId() {
    return static_cast<uint32_t>(reinterpret_cast<quintptr>(QThread::currentThreadId()) & 0xffffffffu);
}

HHOOK SetWindowsHookExA(int32_t idHook, HOOKPROC lpfn, int32_t, uint32_t dwThreadId) {
    if (!lpfn || idHook != WH_CBT || dwThreadId != GetCurrentThreadId()) return 0;
    installFilter();
    const HHOOK h = nextHook++;
    hooks().push_back({h, idHook, lpfn, dwThreadId});
    return h;
}

int32_t UnhookWindowsHookEx(HHOOK hhk) {
    auto& g = hooks();
    for (auto it = g.begin(); it != g.end(); ++it) {
        if (it->handle == hhk) {
            g.erase(it);
            return 1;
        }
    }
    return 0;
}

bool isHookInstalled(HHOOK hhk) {
    for (const InstalledHook& g : hooks())
        if (g.handle == hhk) return true;
    return false;
}

int installedHookCount() { return static_cast<int>(hooks().size()); }

HWND hwndOf(QWidget* window) {
    if (!window) return 0;
    const QVariant v = window->property("hwnd");
    if (v.isValid()) return v.toInt();
    static HWND next = 0x10000;
    const HWND h = next;
    next += 4;
    window->setProperty("hwnd", h);
    windows().insert(h, window);
    QObject::connect(window, &QObject::destroyed, [h] { windows().remove(h); });
    return h;
}

QWidget* windowOf(HWND hwnd) { return windows().value(hwnd); }

QString throughCodePage1252(const QString& text) {
    QString r;
    r.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i; // one character
        if (c.isSurrogate() || !inCodePage1252(c.unicode()))
            r += QLatin1Char('?');
        else
            r += c;
    }
    return r;
}

int32_t SetDlgItemTextA(HWND hDlg, int32_t nIDDlgItem, const QString& lpString) {
    QWidget* window = windowOf(hDlg);
    if (!window) return 0;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        const QVariant id = child->property("ctrlId");
        if (!id.isValid() || id.toInt() != nIDDlgItem) continue;
        const QString text = throughCodePage1252(lpString);
        if (auto* button = qobject_cast<QAbstractButton*>(child))
            button->setText(text);
        else if (auto* label = qobject_cast<QLabel*>(child))
            label->setText(text);
        else
            continue;
        return 1;
    }
    return 0;
}

namespace {

bool altDown = false;

QImage pictureOfActiveWindow() {
    QWidget* window = QApplication::activeWindow();
    if (!window) return {};
    QScreen* screen = window->screen();
    const QRect frame = window->frameGeometry();
    // What the screen shows there, the window manager's frame included; where the platform keeps
    // each window apart (no screen to read from), the window itself.
    QImage picture = screen ? screen
                                  ->grabWindow(0, frame.x() - screen->geometry().x(),
                                               frame.y() - screen->geometry().y(), frame.width(), frame.height())
                                  .toImage()
                            : QImage();
    if (picture.isNull()) picture = window->grab().toImage();
    return picture;
}

QImage pictureOfScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(0).toImage() : QImage();
}

} // namespace

void keybd_event(uint8_t bVk, uint8_t, uint32_t dwFlags, uintptr_t) {
    const bool up = dwFlags & KEYEVENTF_KEYUP;
    if (bVk == VK_MENU) altDown = !up;
    if (bVk != VK_SNAPSHOT || up) return;
    const QImage picture = altDown ? pictureOfActiveWindow() : pictureOfScreen();
    if (!picture.isNull()) QGuiApplication::clipboard()->setImage(picture);
}

} // namespace winapi

#include "platform/winapi/User32.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <vector>

namespace winapi {

namespace {

struct Gancho {
    HHOOK handle;
    int32_t tipo;
    HOOKPROC proc;
    uint32_t hilo;
};

std::vector<Gancho>& ganchos() {
    static std::vector<Gancho> g;
    return g;
}

HHOOK siguienteGancho = 0x100;

// Raises the CBT hooks of the thread when one of its top-level windows is shown.
class FiltroCbt : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* event) override {
        if (event->type() != QEvent::Show || !obj->isWidgetType()) return false;
        auto* w = static_cast<QWidget*>(obj);
        if (!w->isWindow() || w->windowType() == Qt::ToolTip || w->windowType() == Qt::Popup) return false;
        const uint32_t hilo = GetCurrentThreadId();
        const auto copia = ganchos(); // a hook procedure may remove its own hook
        for (const Gancho& g : copia) {
            if (g.tipo != WH_CBT || g.hilo != hilo || !ganchoInstalado(g.handle)) continue;
            g.proc(HCBT_ACTIVATE, hwndDe(w), 0);
        }
        return false;
    }
};

void instalarFiltro() {
    static QPointer<FiltroCbt> filtro;
    if (filtro || !qApp) return;
    filtro = new FiltroCbt;
    filtro->setParent(qApp);
    qApp->installEventFilter(filtro);
}

QHash<HWND, QPointer<QWidget>>& ventanas() {
    static QHash<HWND, QPointer<QWidget>> v;
    return v;
}

// Windows-1252 at 0x80-0x9F; the rest of the code page is Latin-1.
const char16_t kAlto[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                            0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool enCp1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return true;
    for (char16_t a : kAlto)
        if (a && a == c) return true;
    return false;
}

} // namespace

uint32_t GetCurrentThreadId() {
    return static_cast<uint32_t>(reinterpret_cast<quintptr>(QThread::currentThreadId()) & 0xffffffffu);
}

HHOOK SetWindowsHookExA(int32_t idHook, HOOKPROC lpfn, int32_t, uint32_t dwThreadId) {
    if (!lpfn || idHook != WH_CBT || dwThreadId != GetCurrentThreadId()) return 0;
    instalarFiltro();
    const HHOOK h = siguienteGancho++;
    ganchos().push_back({h, idHook, lpfn, dwThreadId});
    return h;
}

int32_t UnhookWindowsHookEx(HHOOK hhk) {
    auto& g = ganchos();
    for (auto it = g.begin(); it != g.end(); ++it) {
        if (it->handle == hhk) {
            g.erase(it);
            return 1;
        }
    }
    return 0;
}

bool ganchoInstalado(HHOOK hhk) {
    for (const Gancho& g : ganchos())
        if (g.handle == hhk) return true;
    return false;
}

int ganchosInstalados() { return static_cast<int>(ganchos().size()); }

HWND hwndDe(QWidget* ventana) {
    if (!ventana) return 0;
    const QVariant v = ventana->property("hwnd");
    if (v.isValid()) return v.toInt();
    static HWND siguiente = 0x10000;
    const HWND h = siguiente;
    siguiente += 4;
    ventana->setProperty("hwnd", h);
    ventanas().insert(h, ventana);
    QObject::connect(ventana, &QObject::destroyed, [h] { ventanas().remove(h); });
    return h;
}

QWidget* ventanaDe(HWND hwnd) { return ventanas().value(hwnd); }

QString atravesDeCp1252(const QString& texto) {
    QString r;
    r.reserve(texto.size());
    for (qsizetype i = 0; i < texto.size(); ++i) {
        const QChar c = texto[i];
        if (c.isHighSurrogate() && i + 1 < texto.size() && texto[i + 1].isLowSurrogate()) ++i; // one character
        if (c.isSurrogate() || !enCp1252(c.unicode()))
            r += QLatin1Char('?');
        else
            r += c;
    }
    return r;
}

int32_t SetDlgItemTextA(HWND hDlg, int32_t nIDDlgItem, const QString& lpString) {
    QWidget* ventana = ventanaDe(hDlg);
    if (!ventana) return 0;
    for (QWidget* hijo : ventana->findChildren<QWidget*>()) {
        const QVariant id = hijo->property("ctrlId");
        if (!id.isValid() || id.toInt() != nIDDlgItem) continue;
        const QString texto = atravesDeCp1252(lpString);
        if (auto* boton = qobject_cast<QAbstractButton*>(hijo))
            boton->setText(texto);
        else if (auto* etiqueta = qobject_cast<QLabel*>(hijo))
            etiqueta->setText(texto);
        else
            continue;
        return 1;
    }
    return 0;
}

} // namespace winapi

#pragma once
// What the cost update run needs of the main window, and nothing more.
#include "platform/ado/Connection.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace update {

// The results layout, which the run applies itself when it listed articles, in twips: the
// height is the outer one, title bar included.
namespace layout {
constexpr double kResultsHeight = 6375;
constexpr double kResultsSalirTop = 5040;
constexpr double kResultsPanelTop = 600;
constexpr double kResultsPanelLeft = 120;
} // namespace layout

// The window as the run sees it. The main window is the program's one; the tests also run the
// run against a window of their own that fails where they choose (test_cost_update), to see the
// run go on after each of its steps as the error protocol says.
class UpdateWindow {
public:
    virtual ~UpdateWindow() = default;

    virtual void cmdSalirVisible(bool visible) = 0;
    virtual void cmdSalirTop(double twips) = 0;
    virtual void cmdActualizarEnabled(bool enabled) = 0;
    virtual void cmdActualizarVisible(bool visible) = 0;
    virtual void fraNoActualizadosVisible(bool visible) = 0;
    virtual void fraNoActualizadosTop(double twips) = 0;
    virtual void fraNoActualizadosLeft(double twips) = 0;
    virtual void lstNoActualizadosClear() = 0;
    virtual int lstNoActualizadosAdd(const QString& text) = 0; // the new row
    virtual void lstNoActualizadosSubItem(int row, const QString& text) = 0;
    virtual int lstNoActualizadosCount() const = 0;
    virtual void lblInfoCaption(const QString& text) = 0;
    virtual void lblArticulosCaption(const QString& text) = 0;
    virtual void barraVisible(bool visible) = 0;
    virtual void barraMin(float value) = 0;
    virtual void barraMax(float value) = 0;
    virtual float barraValue() const = 0;
    virtual void barraValue(float value) = 0;
    virtual void Height(double twips) = 0;
    virtual void progreso(int32_t value, int32_t max, bool& donde, QString& TEXTO) = 0;
    virtual std::unique_ptr<ado::Connection>& cnDatos() = 0;
    // True once the operator closed the window while the run let events through.
    virtual bool closed() const = 0;
};

} // namespace update

#pragma once
// The start-up window: one action, the cost update, an exit, a status line, a progress bar that
// takes the update button's place during the run, and a panel listing the articles without entries.
#include "platform/ui/Form.h"
#include "platform/ui/ListView.h"
#include "platform/ui/PictureButton.h"
#include "platform/ui/ProgressBar.h"
#include "update/UpdateWindow.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace forms {

class frmPrecioCoste : public ui::Form, public update::UpdateWindow {
    Q_OBJECT
public:
    explicit frmPrecioCoste(QWidget* parent = nullptr);
    ~frmPrecioCoste() override;

    QPushButton* cmdActualizar;
    QLabel* lblPendiente;
    ui::PictureButton* cmdSalir;
    QLabel* lblInfo;
    ui::ProgressBar* barra;
    QFrame* fraNoActualizados;
    QLabel* lblArticulos;
    ui::ListView* lstNoActualizados;
    ui::PictureButton* btnVolver;

    // The database connection of the update run; it stays open until the window is destroyed.
    std::unique_ptr<ado::Connection> cnDatos_;

    void progreso(int32_t value, int32_t max, bool& donde, QString& TEXTO) override;

    void Form_Load();
    void cmdActualizar_Click();
    void cmdSalir_Click();
    void btnVolver_Click();
    void lstNoActualizados_ColumnClick(const ui::ListView::ColumnHeader& columnHeader);

    // What the update run uses of this window.
    void cmdSalirVisible(bool visible) override { cmdSalir->setVisible(visible); }
    void cmdSalirTop(double twips) override;
    void cmdActualizarEnabled(bool enabled) override { cmdActualizar->setEnabled(enabled); }
    void cmdActualizarVisible(bool visible) override { cmdActualizar->setVisible(visible); }
    void fraNoActualizadosVisible(bool visible) override { fraNoActualizados->setVisible(visible); }
    void fraNoActualizadosTop(double twips) override;
    void fraNoActualizadosLeft(double twips) override;
    void lstNoActualizadosClear() override { lstNoActualizados->ClearListItems(); }
    int lstNoActualizadosAdd(const QString& text) override { return lstNoActualizados->AddListItem(text); }
    void lstNoActualizadosSubItem(int row, const QString& text) override {
        lstNoActualizados->SetSubItem(row, 1, text);
    }
    int lstNoActualizadosCount() const override { return lstNoActualizados->ListItemCount(); }
    void lblInfoCaption(const QString& text) override;
    void lblArticulosCaption(const QString& text) override { lblArticulos->setText(text); }
    void barraVisible(bool visible) override { barra->setVisible(visible); }
    void barraMin(float value) override { barra->setMin(value); }
    void barraMax(float value) override { barra->setMax(value); }
    float barraValue() const override { return barra->Value(); }
    void barraValue(float value) override { barra->setValue(value); }
    using ui::Form::Height;
    void Height(double twips) override { setHeight(twips); }
    std::unique_ptr<ado::Connection>& cnDatos() override { return cnDatos_; }
    bool closed() const override { return closed_; }

    static const QString kCaption;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool closed_ = false;
};

} // namespace forms

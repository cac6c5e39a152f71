#pragma once
// A small waiting window: a progress bar that a caller may ask to be pre-filled, a status label,
// and a stop request raised by a click on the bar.
#include "platform/ui/Form.h"
#include "platform/ui/ProgressBar.h"

#include <QLabel>

namespace forms {

class frmProgreso : public ui::Form {
    Q_OBJECT
public:
    explicit frmProgreso(QWidget* parent = nullptr);

    ui::ProgressBar* barra;
    QLabel* lblInfo;

    bool parar = false;    // set when the operator clicks the bar; the window never reads it
    int32_t intervalo = 0; // pre-fill steps of the bar, read once when the window loads

    // Loads the window (once until it is closed): the load steps run before it is first shown.
    void Load();
    void Show();

    void Form_Load();
    void progreso(int32_t value, int32_t max, bool& donde, QString& TEXTO);
    void barra_Click();

    static const QString kCaption;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void applyDesignValues();
    void setInfoText(const QString& text);
    bool loaded_ = false;
};

} // namespace forms

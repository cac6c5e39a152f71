#pragma once
// The common controls' progress bar: Min, Max and Value are single precision; the bar refuses a
// maximum not greater than its minimum, and a value outside its range.
#include <QProgressBar>

namespace ui {

class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    float Min() const { return min_; }
    float Max() const { return max_; }
    float Value() const { return value_; }
    void setMin(float min);
    void setMax(float max);
    void setValue(float value);
    void resetToDefaults(); // range 0 to 100, value 0, as when the control is created

signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void redraw();

    float min_ = 0, max_ = 100, value_ = 0;
};

} // namespace ui

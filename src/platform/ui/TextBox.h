#pragma once
// The platform's text box, single- or multi-line. A multi-line box gives its lines back joined by
// carriage return + line feed, as the platform's edit control does, and shows a text given with
// either line ending.
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

namespace ui {

class TextBox : public QWidget {
    Q_OBJECT
public:
    TextBox(bool multiLine, QWidget* parent);
    QString Text() const;
    void setText(const QString& text);

private:
    QLineEdit* single_ = nullptr;
    QPlainTextEdit* multi_ = nullptr;
    // A multi-line box gives back exactly what was put in it (a lone line feed, a non-breaking
    // space), as the platform's does, until the operator edits it: the editor itself would turn
    // those into its own line breaks and blanks.
    QString exact_;
    bool exactValid_ = false;
    bool settingText_ = false;
};

} // namespace ui

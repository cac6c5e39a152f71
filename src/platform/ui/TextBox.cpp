#include "platform/ui/TextBox.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace ui {

TextBox::TextBox(bool multiLine, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget* editor = nullptr;
    if (multiLine) {
        multi_ = new QPlainTextEdit(this);
        multi_->setTabChangesFocus(true);
        // No scroll bars, as the platform's text box has none unless it is given them.
        multi_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        multi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        connect(multi_, &QPlainTextEdit::textChanged, this, [this] {
            if (!settingText_) exactValid_ = false;
        });
        editor = multi_;
    } else {
        single_ = new QLineEdit(this);
        editor = single_;
    }
    layout->addWidget(editor);
    setFocusProxy(editor);
}

QString TextBox::Text() const {
    if (single_) return single_->text();
    if (exactValid_) return exact_;
    return multi_->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

void TextBox::setText(const QString& text) {
    if (single_) {
        single_->setText(text);
        single_->setCursorPosition(0);
        return;
    }
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    settingText_ = true;
    multi_->setPlainText(shown);
    settingText_ = false;
    exact_ = text;
    exactValid_ = true;
}

} // namespace ui

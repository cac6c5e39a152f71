#pragma once
// The platform's modal message box: its button sets in their left-to-right order, each button
// carrying the control identifier that is also the box's result, and Spanish captions.
#include <QDialog>
#include <QString>
#include <vector>

class QPushButton;

namespace ui {

enum : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
};

enum : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

// The parts of a style value: which buttons, which icon, which button is the default.
enum : int { kButtonSetMask = 0x7, kIconMask = 0x70, kDefaultButtonMask = 0x300, kDefaultButtonShift = 8 };

// Shows the box modally over the active window and returns the code of the button that closed it.
// The window that was active before is active again afterwards.
// Before it waits, the pending writes of open databases are written (see ado::Connection); when
// that fails a box says why and offers to try again.
int MsgBox(const QString& prompt, int buttons = vbOKOnly, const QString& title = QString());

// What MsgBox does before it waits: the program's shared resources are settled (the pending
// writes of open databases are written, see runtime::beforeOperatorWait); what cannot be is told
// in a box that offers to try again, and what the operator must hear is told. Called directly for
// a box whose window must be the next one to open (a box that a hook relabels), which then goes
// straight to waiting, and when the program is about to end.
void beforeOperatorWait(bool programEnds = false);

class MessageBox : public QDialog {
    Q_OBJECT
public:
    MessageBox(const QString& prompt, int buttons, const QString& title, QWidget* parent);

    const QString& prompt() const { return prompt_; }
    std::vector<QPushButton*> buttons() const { return buttons_; }
    QPushButton* button(int controlId) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    static QWidget* textArea(const QString& prompt, QWidget* parent);
    void press(int code);

    QString prompt_;
    std::vector<QPushButton*> buttons_;
    int escapeCode_ = 0; // 0: Escape and the close box do nothing
    bool pressed_ = false;
};

} // namespace ui

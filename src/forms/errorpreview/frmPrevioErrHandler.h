#pragma once
// The error preview window: the screenshot of the window in which a failure happened, the error
// line, the print-size options and commands, and a hidden e-mail panel from which the report is
// addressed, described and sent to the developer. Each error report makes a window of its own,
// which lives until it is closed.
#include "forms/errorpreview/ReportPicture.h"
#include "platform/imageviewer/ImageViewer.h"
#include "platform/mail/Mapi.h"
#include "platform/runtime/Failure.h"
#include "platform/ui/Form.h"
#include "platform/ui/Picture.h"
#include "platform/ui/TextBox.h"

#include <QDateTime>
#include <QLineF>
#include <QPointF>
#include <QPointer>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace runtime {
class Failure;
}

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace forms {

class frmPrevioErrHandler : public ui::Form {
    Q_OBJECT
public:
    explicit frmPrevioErrHandler(QWidget* parent = nullptr);

    // The top strip.
    QGroupBox* Frame1 = nullptr;
    QRadioButton* NormalOption = nullptr;
    QRadioButton* FitToPrinterOption = nullptr;
    std::map<int, QPushButton*> CmdPrint; // 0 "Imprimir", 1 "EMAIL"
    ui::TextBox* Text = nullptr;
    ui::TextBox* texterror = nullptr;
    ui::PictureBox* HiddenPict = nullptr;          // not visible; holds the screenshot at its own size
    imageviewer::ImageViewer* img1 = nullptr;      // writes the error line on the picture and makes the JPEG
    ui::Image* Image1 = nullptr;                   // shows the screenshot stretched to its own size
    std::unique_ptr<mail::MAPISession> mpmsession; // invisible at run time
    std::unique_ptr<mail::MAPIMessages> mpmmessage;

    // The e-mail panel.
    QGroupBox* framecorreo = nullptr;
    std::map<int, QLabel*> Label7;         // 0, 1, 13 to 16
    std::map<int, ui::TextBox*> Text11;    // by Text11Index
    std::map<int, QPushButton*> Command24; // 0 "&Enviar mapi", 1 "&Salir", 2 "&Enviar Outlook"
    enum Text11Index : int { kTo = 0, kSubject = 1, kDescription = 2, kAttachment = 3, kCopy = 4 };

    QString ImageBasePath; // the report files' path without extension, fixed at load
    int16_t IsDrawing = 0; // -1 from a mouse-button press on the surface until its release

    // Loads the window (once): the load steps run before it is first shown.
    void Load();

    void Form_Load();
    void Form_Resize();
    void Form_MouseDown(int Button, int Shift, float X, float Y);
    void Form_MouseMove(int Button, int Shift, float X, float Y);
    void Form_MouseUp(int Button, int Shift, float X, float Y);
    void CmdPrint_Click(int Index);
    void Command24_Click(int Index);

    ~frmPrevioErrHandler() override;

    // The freehand lines drawn on the window's surface, in pixels.
    const std::vector<QLineF>& drawnLines() const { return lines_; }

    static const QString kCaption;

protected:
    // While a command runs, closing waits until it has ended: the window then closes, unless a
    // send failed and the report must stay with what the operator typed.
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createEmailPanel();
    // The commands behind the buttons.
    void printScreenshot();
    void prepareEmail();
    void sendThroughMapi();
    void sendThroughOutlook();
    // The window is sending until the guard it gives goes: a second click is ignored and the
    // cursor waits. The guard touches the window only if it is still there.
    auto markSending();
    void hideEmailPanel();
    // After a send: a failure is named in a box and the window keeps everything typed; otherwise
    // the panel hides and the window closes.
    void finishSend(const std::optional<runtime::Failure>& failed);
    void Line(float X, float Y); // from the current drawing position to (X, Y), which becomes current

    // Counts the commands under way; a close asked for meanwhile waits for the last to end.
    class Command {
    public:
        explicit Command(frmPrevioErrHandler& window);
        ~Command();
        Command(const Command&) = delete;
        Command& operator=(const Command&) = delete;

    private:
        QPointer<frmPrevioErrHandler> w_;
    };
    void endOfCommands();

    bool loaded_ = false;
    bool sending_ = false;
    int commands_ = 0;
    bool closeAsked_ = false;
    bool sendFailed_ = false; // the last send did not go out: a close asked meanwhile waits for the operator
    ReportPicture picture_;   // the name of the report's files (ImageBasePath)
    // Why the last "EMAIL" could not make the report's picture: the report says so when it goes.
    std::optional<runtime::Failure> pictureFailure_;
    QPointF current_; // CurrentX, CurrentY, in twips
    std::vector<QLineF> lines_;
};

} // namespace forms

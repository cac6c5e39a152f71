// The commands of the error preview window: printing the screenshot, preparing the e-mail report
// (its description and the JPEG with the error line), sending it through MAPI or through the
// Outlook way, and hiding the e-mail panel.
#include "config/ReportMail.h"
#include "errors/Protocol.h"
#include "forms/errorpreview/frmPrevioErrHandler.h"
#include "platform/mail/MailErrors.h"
#include "platform/mail/Outlook.h"
#include "platform/printer/Printer.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"
#include "platform/runtime/Steps.h"
#include "platform/ui/App.h"
#include "platform/ui/Events.h"
#include "platform/ui/MsgBox.h"

#include <QGroupBox>
#include <QPointer>
#include <QRadioButton>
#include <QScopeGuard>
#include <optional>

namespace forms {

namespace {

// How the image viewer writes the error line on the picture: its drawing setting, and where the
// text starts, in the picture's pixels.
constexpr int16_t kStampSetting = 1;
constexpr int16_t kStampLeft = 10, kStampTop = 10;

// What the operator reads in a report that goes out without its picture.
QString withoutPicture(const runtime::Failure& f) {
    return QStringLiteral("\r\n\r\n(Este informe se envía sin la imagen del error: %1)").arg(f.Description());
}

} // namespace

frmPrevioErrHandler::Command::Command(frmPrevioErrHandler& window) : w_(&window) {
    if (w_->commands_++ == 0) w_->sendFailed_ = false;
}

frmPrevioErrHandler::Command::~Command() {
    // The window cannot go while a command runs (its close waits); were it gone all the same,
    // nothing of it is touched.
    if (w_ && --w_->commands_ == 0) w_->endOfCommands();
}

void frmPrevioErrHandler::endOfCommands() {
    // A close asked for while the command ran happens now (the window goes when control is back
    // in the event loop); after a send that failed, the window stays with the report.
    if (!closeAsked_) return;
    closeAsked_ = false;
    if (!sendFailed_) close();
}

void frmPrevioErrHandler::CmdPrint_Click(int Index) {
    const Command command(*this);
    switch (Index) {
    case 0: printScreenshot(); break;
    case 1: prepareEmail(); break;
    default: break; // any other member does nothing
    }
}

void frmPrevioErrHandler::Command24_Click(int Index) {
    const Command command(*this);
    switch (Index) {
    case 0: sendThroughMapi(); break;
    case 1: hideEmailPanel(); break;
    case 2: sendThroughOutlook(); break;
    default: break;
    }
}

void frmPrevioErrHandler::printScreenshot() {
    // "Imprimir": the screenshot on the default printer, landscape, at its natural size or fitted
    // to the printable area keeping its proportions, centred.
    enum Step : int { kFitted = 9, kTallerPage = 14, kFullHeight = 17, kPicture = 20 };
    printer::Printer& Printer = printer::Printer::instance();
    float PrintLeft = 0, PrintTop = 0, PrintWidth = 0, PrintHeight = 0, PictureRatio = 0, PageRatio = 0;
    QPointer<frmPrevioErrHandler> alive(this); // checked after the pass of events
    errors::runGuarded(errors::id::PrevioErrHandler_cmdPrint_Click, [&](int step) -> int {
        switch (step) {
        case 1: setCursor(Qt::WaitCursor); break;
        case 2:
            ui::DoEvents();
            if (!alive) return runtime::kEnd;
            break;
        case 3: Printer.setOrientation(printer::vbPRORLandscape); break;
        case 4: return NormalOption->isChecked() ? step + 1 : kFitted;
        // Natural size: the screenshot prints at the size in twips it has on the screen.
        case 5:
            PrintWidth = printer::Printer::ScaleX(static_cast<float>(HiddenPict->ScaleWidth()), printer::vbTwips,
                                                  Printer.ScaleMode());
            break;
        case 6:
            PrintHeight = printer::Printer::ScaleY(static_cast<float>(HiddenPict->ScaleHeight()), printer::vbTwips,
                                                   Printer.ScaleMode());
            break;
        case 7: PrintLeft = (Printer.ScaleWidth() - PrintWidth) / 2; break;
        case 8: PrintTop = (Printer.ScaleHeight() - PrintHeight) / 2; return kPicture;
        // Fitted to the printable area.
        case kFitted:
            PictureRatio = runtime::toSingle(runtime::divide(HiddenPict->ScaleHeight(), HiddenPict->ScaleWidth()));
            break;
        case 10: PrintWidth = Printer.ScaleWidth(); break;
        case 11: PrintHeight = Printer.ScaleHeight(); break;
        case 12: PageRatio = runtime::toSingle(runtime::divide(PrintHeight, PrintWidth)); break;
        case 13: return PageRatio > PictureRatio ? kTallerPage : kFullHeight;
        case kTallerPage: PrintHeight = PictureRatio * PrintWidth; break;
        case 15: PrintLeft = Printer.ScaleLeft(); break;
        case 16: PrintTop = (Printer.ScaleHeight() - PrintHeight) / 2; return kPicture;
        case kFullHeight: PrintWidth = runtime::toSingle(runtime::divide(PrintHeight, PictureRatio)); break;
        case 18: PrintLeft = (Printer.ScaleWidth() - PrintWidth) / 2; break;
        case 19: PrintTop = Printer.ScaleTop(); break;
        case kPicture: Image1->setPicture(HiddenPict->picture()); break;
        case 21: Printer.PaintPicture(HiddenPict->picture(), PrintLeft, PrintTop, PrintWidth, PrintHeight); break;
        case 22: Printer.EndDoc(); break;
        case 23: unsetCursor(); return runtime::kEnd;
        default: return runtime::kEnd;
        }
        return step + 1;
    });
}

void frmPrevioErrHandler::prepareEmail() {
    // "EMAIL": the panel, the description's first line, and the JPEG of the screenshot with the
    // error line written on it. The first two steps are guarded by the error dialog; the file
    // steps are skipped silently when they fail, and the first failure in making the picture is
    // what the report says when it goes without it.
    constexpr int kLastGuarded = 2, kFirstPictureStep = 4, kLastPictureStep = 9;
    pictureFailure_.reset();
    runtime::runSteps(
        1,
        [&](int step) -> int {
            switch (step) {
            case 1: framecorreo->setVisible(true); break;
            case 2:
                Text11[kDescription]->setText(QStringLiteral("Error generado el ") + runtime::dateText(runtime::Now()) +
                                              QStringLiteral("\r\n"));
                break;
            case 3: runtime::Kill(ImageBasePath); break;
            case 4: ui::SavePicture(Image1->picture(), ImageBasePath + QStringLiteral(".bmp")); break;
            case 5: img1->setImageFile(ImageBasePath + QStringLiteral(".BMP")); break;
            case 6: img1->setFocus(); break;
            case 7: img1->setStampSetting(kStampSetting); break;
            case 8: img1->StampText(kStampLeft, kStampTop, texterror->Text()); break;
            case 9: img1->SaveInFormat(ImageBasePath, QStringLiteral("JPG")); break;
            case 10: img1->setImageFile(QString()); break;
            case 11: runtime::Kill(ImageBasePath + QStringLiteral(".bmp")); break;
            case 12: Text11[kAttachment]->setText(ImageBasePath + QStringLiteral(".jpg")); return runtime::kEnd;
            default: return runtime::kEnd;
            }
            return step + 1;
        },
        [&](int step, const runtime::Failure& failure) {
            if (step <= kLastGuarded)
                return errors::handleFailure(errors::id::PrevioErrHandler_cmdPrint_Click, step, failure);
            if (step >= kFirstPictureStep && step <= kLastPictureStep && !pictureFailure_) pictureFailure_ = failure;
            return step + 1;
        });
}

auto frmPrevioErrHandler::markSending() {
    sending_ = true;
    setCursor(Qt::WaitCursor);
    return qScopeGuard([alive = QPointer<frmPrevioErrHandler>(this)] {
        if (!alive) return;
        alive->sending_ = false;
        alive->unsetCursor();
    });
}

void frmPrevioErrHandler::sendThroughMapi() {
    if (sending_) return; // a second click while the first send lets events through
    QPointer<frmPrevioErrHandler> alive(this);
    const auto done = markSending();
    // "&Enviar mapi". Failing steps are skipped; but when the report did not go out, the window
    // and the panel stay open with everything typed, and a box names the failure. A picture that
    // cannot be attached does not keep the report from going: it goes without it, and says so.
    std::optional<runtime::Failure> failed;
    constexpr int kAttach = 9, kSend = 10;
    runtime::runSteps(
        1,
        [&](int step) -> int {
            switch (step) {
            case 1: mpmsession->SignOn(); break;
            case 2: mpmmessage->SessionID = mpmsession->SessionID(); break;
            case 3: mpmmessage->Compose(); break;
            case 4: mpmmessage->RecipDisplayName = runtime::Trim(Text11[kTo]->Text()); break;
            case 5: mpmmessage->RecipAddress = runtime::Trim(Text11[kTo]->Text()); break;
            case 6:
                ui::DoEvents();
                if (!alive) return runtime::kEnd;
                break;
            case 7: mpmmessage->MsgSubject = Text11[kSubject]->Text() + QLatin1Char(' ') + ui::App::EXEName(); break;
            case 8:
                mpmmessage->MsgNoteText = Text11[kDescription]->Text() + QStringLiteral("\r\n") + texterror->Text();
                break;
            case kAttach: mpmmessage->AttachmentPathName = Text11[kAttachment]->Text(); break;
            case kSend: mpmmessage->Send(false); break;
            case 11: mpmsession->SignOff(); return runtime::kEnd;
            default: return runtime::kEnd;
            }
            return step + 1;
        },
        [&](int step, const runtime::Failure& failure) {
            if (step == kSend && failure.Number() == mail::err::mapAttachmentNotFound &&
                !mpmmessage->AttachmentPathName.isEmpty()) {
                mpmmessage->AttachmentPathName.clear();
                mpmmessage->MsgNoteText += withoutPicture(pictureFailure_.value_or(failure));
                return kSend; // again, without it
            }
            if (step <= kSend && !failed) failed = failure;
            return step + 1;
        });
    if (alive) finishSend(failed);
}

void frmPrevioErrHandler::sendThroughOutlook() {
    if (sending_) return;
    const auto done = markSending();
    // "&Enviar Outlook", through the machine's own mail system; a failure is handled as in the
    // MAPI send. An attachment that fails is skipped, as every failing step of this way is: the
    // mail goes without it.
    std::optional<runtime::Failure> failed;
    std::unique_ptr<mail::OutlookApplication> application;
    std::unique_ptr<mail::MailItem> MailItem;
    auto item = [&]() -> mail::MailItem& {
        if (!MailItem) runtime::raise(runtime::err::ObjectNotSet);
        return *MailItem;
    };
    constexpr int kAttach = 8, kSend = 9;
    runtime::runSteps(
        1,
        [&](int step) -> int {
            switch (step) {
            case 1: application = mail::OutlookApplication::create(); break;
            case 2:
                if (!application) runtime::raise(runtime::err::ObjectNotSet);
                MailItem = application->CreateItem(mail::olMailItem);
                break;
            case 3: item().To = Text11[kTo]->Text(); break;
            case 4: item().CC = Text11[kCopy]->Text(); break;
            case 5: item().BCC = QString::fromUtf8(config::kBlindCopyMailbox); break;
            case 6: item().Subject = Text11[kSubject]->Text() + QLatin1Char(' ') + ui::App::EXEName(); break;
            case 7: item().Body = texterror->Text() + QStringLiteral("\r\n") + Text11[kDescription]->Text(); break;
            case kAttach:
                item().Attachments().Add(Text11[kAttachment]->Text(), mail::olByValue, std::nullopt,
                                         Text11[kAttachment]->Text());
                break;
            case kSend: item().Send(); break;
            case 10:
                MailItem.reset(); // Outlook itself is not asked to quit
                application.reset();
                return runtime::kEnd;
            default: return runtime::kEnd;
            }
            return step + 1;
        },
        [&](int step, const runtime::Failure& failure) {
            if (step != kAttach && step <= kSend && !failed) failed = failure;
            return step + 1;
        });
    finishSend(failed);
}

void frmPrevioErrHandler::finishSend(const std::optional<runtime::Failure>& failed) {
    sendFailed_ = failed.has_value();
    if (failed) {
        ui::MsgBox(QStringLiteral("No se pudo enviar el informe de error: ") + failed->Description() +
                       QStringLiteral("\r\n\r\nEl informe sigue en esta ventana, tal como está escrito."),
                   ui::vbOKOnly | ui::vbExclamation, ui::App::Title());
        return;
    }
    runtime::runStepsSkippingFailures(1, [&](int step) -> int {
        if (step == 1) framecorreo->setVisible(false);
        if (step == 2) close();
        return step < 2 ? step + 1 : runtime::kEnd;
    });
}

void frmPrevioErrHandler::hideEmailPanel() {
    // "&Salir": the panel goes, the window stays with the screenshot.
    runtime::runStepsSkippingFailures(1, [&](int) {
        framecorreo->setVisible(false);
        return runtime::kEnd;
    });
}

} // namespace forms

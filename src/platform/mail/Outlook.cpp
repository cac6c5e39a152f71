#include "platform/mail/Outlook.h"
#include "config/ReportMail.h"
#include "platform/mail/MailErrors.h"
#include "platform/mail/Message.h"
#include "platform/mail/Transport.h"
#include "platform/runtime/Failure.h"

#include <QFileInfo>

namespace mail {

namespace {
QString& program() {
    static QString p = QStringLiteral("/usr/sbin/sendmail");
    return p;
}
} // namespace

void OutlookApplication::setSendmailProgram(const QString& path) { program() = path; }
QString OutlookApplication::sendmailProgram() { return program(); }

OutlookApplication::OutlookApplication() : Sender(QString::fromUtf8(config::kSender)) {}

std::unique_ptr<OutlookApplication> OutlookApplication::create() {
    if (!QFileInfo(program()).isExecutable())
        runtime::raise(runtime::err::CannotCreateObject,
                       runtime::descriptionOf(runtime::err::CannotCreateObject) +
                           QStringLiteral(" (no hay sistema de correo en este equipo: falta %1)").arg(program()));
    return std::unique_ptr<OutlookApplication>(new OutlookApplication);
}

std::unique_ptr<MailItem> OutlookApplication::CreateItem(int itemType) {
    if (itemType != olMailItem) runtime::raise(runtime::err::InvalidCall);
    return std::unique_ptr<MailItem>(new MailItem(Sender));
}

void Attachments::Add(const QString& Source, int Type, std::optional<int>, const QString& DisplayName) {
    if (Type != olByValue) runtime::raise(runtime::err::InvalidCall);
    // As Outlook does, a file that cannot be read fails here, and the item goes on without it.
    raiseIfNotAttachable(Source);
    items_.push_back({Source, DisplayName});
}

void MailItem::Send() {
    Message m;
    m.from = sender_;
    m.toHeader = To;
    m.ccHeader = CC;
    m.blindCopy = addressesIn(BCC);
    m.subject = Subject;
    m.body = Body;
    if (attachments_.items_.size() > 1) runtime::raise(runtime::err::InvalidCall); // one report, one picture
    if (!attachments_.items_.empty()) {
        m.attachmentPath = attachments_.items_.front().source;
        m.attachmentDescription = attachments_.items_.front().displayName;
    }
    if (m.recipients().isEmpty()) runtime::raise(err::olFailure, QStringLiteral("El mensaje no tiene destinatario."));
    sendmail(program(), m.from, m.recipients(), m.compose());
}

} // namespace mail

#include "platform/mail/Mapi.h"
#include "config/ReportMail.h"
#include "platform/mail/MailErrors.h"
#include "platform/mail/Message.h"
#include "platform/runtime/Failure.h"

#include <map>

namespace mail {

namespace {
std::map<int32_t, const MAPISession*>& sessions() {
    static std::map<int32_t, const MAPISession*> s;
    return s;
}
int32_t nextId = 1;
} // namespace

MAPISession::MAPISession()
    : UserName(QString::fromUtf8(config::kSmtpUser)), Password(QString::fromUtf8(config::kSmtpPassword)),
      Server(QString::fromUtf8(config::kSmtpServer)), Sender(QString::fromUtf8(config::kSender)) {}

MAPISession::~MAPISession() { SignOff(); }

void MAPISession::SignOn() {
    if (id_) return;
    if (Server.isEmpty()) runtime::raise(err::mapLoginFail, QStringLiteral("No hay servidor de correo configurado."));
    id_ = nextId++;
    sessions()[id_] = this;
}

void MAPISession::SignOff() {
    if (!id_) return;
    sessions().erase(id_);
    id_ = 0;
}

const MAPISession* MAPISession::find(int32_t id) {
    const auto it = sessions().find(id);
    return it == sessions().end() ? nullptr : it->second;
}

void MAPIMessages::Compose() {
    RecipDisplayName.clear();
    RecipAddress.clear();
    MsgSubject.clear();
    MsgNoteText.clear();
    AttachmentPathName.clear();
}

void MAPIMessages::Send(bool) {
    const MAPISession* session = MAPISession::find(SessionID);
    if (!session) runtime::raise(err::mapNotSignedOn, QStringLiteral("No hay ninguna sesión de correo abierta."));
    Message m;
    m.from = session->Sender;
    // One recipient shows with its display name; several are named by their addresses.
    const QStringList addresses = addressesIn(RecipAddress);
    const QString name = headerValue(RecipDisplayName).trimmed();
    m.toHeader = RecipAddress;
    if (addresses.size() == 1 && !name.isEmpty() && name != addresses.front() &&
        name != headerValue(RecipAddress).trimmed())
        m.toHeader = QStringLiteral("\"%1\" <%2>").arg(QString(name).remove(QLatin1Char('"')), addresses.front());
    m.subject = MsgSubject;
    m.body = MsgNoteText;
    m.attachmentPath = AttachmentPathName;
    const QByteArray bytes = m.compose();
    sendSmtp({session->Server, session->UserName, session->Password, session->CAFile, session->TimeoutSeconds}, m.from,
             m.recipients(), bytes);
}

} // namespace mail

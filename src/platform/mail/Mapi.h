#pragma once
// The MAPI session and messages controls, over SMTP. SignOn opens a session with the stored
// account; a message composed on the messages control goes out through its session's server on
// Send. The account is the one the program was built with (see config/ReportMail.h) until set.
#include "platform/mail/Transport.h"

#include <QString>
#include <cstdint>

namespace mail {

class MAPISession {
public:
    MAPISession();
    ~MAPISession();
    MAPISession(const MAPISession&) = delete;
    MAPISession& operator=(const MAPISession&) = delete;

    QString UserName, Password; // the stored account
    QString Server;             // smtp://host[:port] or smtps://host[:port]
    QString Sender;             // the address the reports come from
    QString CAFile;             // certificates to trust beyond the system's
    int TimeoutSeconds = 20;

    void SignOn();
    void SignOff();
    int32_t SessionID() const { return id_; }

    // The open session with that number, or null.
    static const MAPISession* find(int32_t id);

private:
    int32_t id_ = 0;
};

class MAPIMessages {
public:
    int32_t SessionID = 0;
    QString RecipDisplayName, RecipAddress, MsgSubject, MsgNoteText, AttachmentPathName;

    void Compose(); // starts a new outgoing message: the fields are cleared
    void Send(bool dialog = false);
};

} // namespace mail

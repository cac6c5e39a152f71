#pragma once
// The two ways a composed message leaves the machine.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace mail {

struct SmtpAccount {
    QString server;   // smtp://host[:port] or smtps://host[:port]
    QString userName; // empty: no login
    QString password;
    QString caFile;          // certificates to trust beyond the system's; empty: the system's only
    int timeoutSeconds = 20; // to connect, and the longest the server may send nothing
};

// Over SMTP with libcurl: login when a user name is set; TLS (STARTTLS or smtps) is required
// unless the server is on this machine (loopback), where it is used when offered. Fails with the
// server's or the connection's reason; the password never appears in it.
void sendSmtp(const SmtpAccount& account, const QString& from, const QStringList& recipients,
              const QByteArray& message);

// Through the machine's mail system: the message on the standard input of
// `program -i -f from -- recipients...`, started without a shell. Fails when the program is
// missing, when it does not end in time, or when it ends with an error (what it said is kept).
void sendmail(const QString& program, const QString& from, const QStringList& recipients, const QByteArray& message,
              int timeoutSeconds = 30);

} // namespace mail

#pragma once
// An e-mail message as the mail stand-ins hand it on: composed once, with GMime, into the bytes
// that go to an SMTP server or to the machine's sendmail alike. UTF-8 text with its charset, CR LF
// line ends, the attachment encoded in base64 by the library; blind copies travel in the envelope
// only. A carriage return, line feed or tab in a header value becomes a blank first, so that typed
// text can never start a header of its own.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace mail {

struct Message {
    QString from;
    QString toHeader;      // the To addresses as typed (separated by commas or semicolons)
    QString ccHeader;      // likewise, may be empty
    QStringList blindCopy; // addresses that receive the message without being named in it
    QString subject;
    QString body;           // line ends of any kind
    QString attachmentPath; // empty: no attachment
    QString attachmentDescription;

    QByteArray compose() const;     // fails when the attachment cannot be read
    QStringList recipients() const; // every envelope recipient: To, CC and blind copies
};

// Fails (mapAttachmentNotFound) when the file cannot be read or is empty (a picture that was
// never written).
void raiseIfNotAttachable(const QString& path);

// A header value as it may stand in a message: no line breaks, no tabs.
QString headerValue(const QString& text);

// One mailbox of a To or CC text: its address, and the name shown with it, if any.
struct Mailbox {
    QString name, address;
};
// The mailboxes of a To or CC text ("a@b, Juan <c@d>; \"Pérez, Ana\" <e@f>"), separated by commas
// or semicolons (the separator of the original platform's mail programs) outside quotes and
// angle brackets. The headers and the envelope are both made from this one reading.
std::vector<Mailbox> mailboxesIn(const QString& text);
// Their addresses alone.
QStringList addressesIn(const QString& text);

} // namespace mail

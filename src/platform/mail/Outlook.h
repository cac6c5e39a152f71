#pragma once
// The Outlook application and its mail items, over the machine's own mail system: a mail item is
// composed like any message and handed to sendmail on Send. Creating the application fails, as
// creating Outlook fails where it is not installed, when the machine has no sendmail.
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace mail {

class MailItem;

class OutlookApplication {
public:
    static std::unique_ptr<OutlookApplication> create();
    std::unique_ptr<MailItem> CreateItem(int itemType); // 0: a mail item

    // The mail system's program, /usr/sbin/sendmail unless set; and the sender's address.
    static void setSendmailProgram(const QString& path);
    static QString sendmailProgram();
    QString Sender;

private:
    OutlookApplication();
};

class Attachments {
public:
    // Source: the file; Type 1: attached by value; DisplayName: how the message names it.
    void Add(const QString& Source, int Type = 1, std::optional<int> Position = {}, const QString& DisplayName = {});

private:
    friend class MailItem;
    struct Attachment {
        QString source, displayName;
    };
    std::vector<Attachment> items_;
};

class MailItem {
public:
    QString To, CC, BCC, Subject, Body;
    mail::Attachments& Attachments() { return attachments_; }
    void Send();

private:
    friend class OutlookApplication;
    explicit MailItem(QString sender) : sender_(std::move(sender)) {}
    QString sender_;
    mail::Attachments attachments_;
};

} // namespace mail

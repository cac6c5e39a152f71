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

// Outlook's own numbers: an item type, and how a file is attached.
enum : int { olMailItem = 0 };
enum : int { olByValue = 1 };

class OutlookApplication {
public:
    static std::unique_ptr<OutlookApplication> create();
    std::unique_ptr<MailItem> CreateItem(int itemType); // olMailItem

    // The mail system's program, /usr/sbin/sendmail unless set; and the sender's address.
    static void setSendmailProgram(const QString& path);
    static QString sendmailProgram();
    QString Sender;

private:
    OutlookApplication();
};

class Attachments {
public:
    // Source: the file; Type olByValue: attached by value; DisplayName: how the message names it.
    // A file that cannot be read, or is empty, fails here.
    void Add(const QString& Source, int Type = olByValue, std::optional<int> Position = {},
             const QString& DisplayName = {});

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

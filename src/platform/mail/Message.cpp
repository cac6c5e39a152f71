#include "platform/mail/Message.h"
#include "platform/mail/MailErrors.h"
#include "platform/runtime/Failure.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <gmime/gmime.h>
#include <mutex>

namespace mail {

namespace {

void initGMime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// A GObject owned here and unreferenced when it goes.
template <typename T> struct Owned {
    T* p;
    explicit Owned(T* object) : p(object) {}
    ~Owned() {
        if (p) g_object_unref(p);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

void addAddresses(InternetAddressList* list, const QString& text) {
    for (const Mailbox& m : mailboxesIn(text)) {
        const QByteArray name = m.name.toUtf8(), address = m.address.toUtf8();
        InternetAddress* mailbox =
            internet_address_mailbox_new(name.isEmpty() ? nullptr : name.constData(), address.constData());
        internet_address_set_charset(mailbox, "utf-8");
        internet_address_list_add(list, mailbox); // the list takes a reference of its own
        g_object_unref(mailbox);
    }
}

} // namespace

void raiseIfNotAttachable(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        runtime::raise(err::mapAttachmentNotFound,
                       QStringLiteral("No se encuentra el archivo adjunto '%1'.").arg(path));
    if (info.size() == 0)
        runtime::raise(err::mapAttachmentNotFound, QStringLiteral("El archivo adjunto '%1' está vacío.").arg(path));
}

QString headerValue(const QString& text) {
    QString v = text;
    for (QChar& c : v)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t')) c = QLatin1Char(' ');
    return v;
}

std::vector<Mailbox> mailboxesIn(const QString& text) {
    // Split where a comma or a semicolon stands outside quotes and angle brackets.
    QStringList parts;
    QString part;
    bool quoted = false, angled = false;
    for (const QChar c : headerValue(text)) {
        if (c == QLatin1Char('"') && !angled)
            quoted = !quoted;
        else if (c == QLatin1Char('<') && !quoted)
            angled = true;
        else if (c == QLatin1Char('>') && !quoted)
            angled = false;
        else if ((c == QLatin1Char(',') || c == QLatin1Char(';')) && !quoted && !angled) {
            parts << part;
            part.clear();
            continue;
        }
        part += c;
    }
    parts << part;
    std::vector<Mailbox> r;
    static const QRegularExpression named(QStringLiteral("^(.*)<([^<>]*)>$"));
    for (const QString& p : parts) {
        const QString t = p.trimmed();
        if (t.isEmpty()) continue;
        if (const auto m = named.match(t); m.hasMatch()) {
            QString name = m.captured(1).trimmed();
            if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
                name = name.mid(1, name.size() - 2);
            if (!m.captured(2).trimmed().isEmpty()) r.push_back({name, m.captured(2).trimmed()});
        } else {
            r.push_back({QString(), t});
        }
    }
    return r;
}

QStringList addressesIn(const QString& text) {
    QStringList r;
    for (const Mailbox& m : mailboxesIn(text))
        r << m.address;
    return r;
}

QStringList Message::recipients() const { return addressesIn(toHeader) + addressesIn(ccHeader) + blindCopy; }

QByteArray Message::compose() const {
    initGMime();
    QByteArray attachment;
    if (!attachmentPath.isEmpty()) {
        raiseIfNotAttachable(attachmentPath);
        QFile f(attachmentPath);
        if (!f.open(QIODevice::ReadOnly))
            runtime::raise(err::mapAttachmentNotFound,
                           QStringLiteral("No se encuentra el archivo adjunto '%1'.").arg(attachmentPath));
        attachment = f.readAll();
    }

    Owned<GMimeMessage> message(g_mime_message_new(TRUE));
    GMimeObject* object = GMIME_OBJECT(message.p);
    addAddresses(g_mime_message_get_from(message.p), from);
    // The To and CC headers name every mailbox the envelope carries (only blind copies are left
    // out), read from the text once for both.
    addAddresses(g_mime_message_get_addresses(message.p, GMIME_ADDRESS_TYPE_TO), toHeader);
    addAddresses(g_mime_message_get_addresses(message.p, GMIME_ADDRESS_TYPE_CC), ccHeader);
    const QByteArray subj = headerValue(subject).toUtf8();
    g_mime_message_set_subject(message.p, subj.constData(), "utf-8");
    GDateTime* now = g_date_time_new_now_local();
    g_mime_message_set_date(message.p, now);
    g_date_time_unref(now);
    char* id = g_mime_utils_generate_message_id("zuk.invalid");
    g_mime_message_set_message_id(message.p, id);
    g_free(id);

    // The text in UTF-8, said so, and quoted-printable so that it crosses any server unchanged.
    Owned<GMimeTextPart> text(g_mime_text_part_new_with_subtype("plain"));
    QString lines = body;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QByteArray utf8 = lines.toUtf8();
    Owned<GMimeStream> textStream(
        g_mime_stream_mem_new_with_buffer(utf8.constData(), static_cast<size_t>(utf8.size())));
    Owned<GMimeDataWrapper> textContent(
        g_mime_data_wrapper_new_with_stream(textStream.p, GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(GMIME_PART(text.p), textContent.p);
    g_mime_text_part_set_charset(text.p, "utf-8");
    g_mime_part_set_content_encoding(GMIME_PART(text.p), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);

    if (attachmentPath.isEmpty()) {
        g_mime_message_set_mime_part(message.p, GMIME_OBJECT(text.p));
    } else {
        Owned<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(mixed.p, GMIME_OBJECT(text.p));
        const QString type = QMimeDatabase().mimeTypeForFile(attachmentPath).name();
        const QByteArray major = type.section(QLatin1Char('/'), 0, 0).toUtf8();
        const QByteArray minor = type.section(QLatin1Char('/'), 1).toUtf8();
        Owned<GMimePart> part(g_mime_part_new_with_type(major.constData(), minor.constData()));
        const QByteArray name = QFileInfo(attachmentPath).fileName().toUtf8();
        g_mime_part_set_filename(part.p, name.constData());
        if (!attachmentDescription.isEmpty()) {
            const QByteArray description = headerValue(attachmentDescription).toUtf8();
            g_mime_part_set_content_description(part.p, description.constData());
        }
        Owned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(
            reinterpret_cast<const char*>(attachment.constData()), static_cast<size_t>(attachment.size())));
        Owned<GMimeDataWrapper> content(g_mime_data_wrapper_new_with_stream(stream.p, GMIME_CONTENT_ENCODING_DEFAULT));
        g_mime_part_set_content(part.p, content.p);
        g_mime_part_set_content_encoding(part.p, GMIME_CONTENT_ENCODING_BASE64);
        g_mime_multipart_add(mixed.p, GMIME_OBJECT(part.p));
        g_mime_message_set_mime_part(message.p, GMIME_OBJECT(mixed.p));
    }

    GMimeFormatOptions* options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    Owned<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(object, options, out.p);
    g_mime_format_options_free(options);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.p));
    return QByteArray(reinterpret_cast<const char*>(bytes->data), static_cast<qsizetype>(bytes->len));
}

} // namespace mail

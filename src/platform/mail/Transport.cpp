#include "platform/mail/Transport.h"
#include "platform/mail/MailErrors.h"
#include "platform/runtime/Failure.h"

#include "platform/mail/Message.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <cstring>
#include <curl/curl.h>
#include <mutex>

namespace mail {

namespace {

struct Reader {
    const QByteArray& bytes;
    qsizetype at = 0;
};

size_t readMessage(char* buffer, size_t size, size_t count, void* data) {
    auto* r = static_cast<Reader*>(data);
    const qsizetype room = static_cast<qsizetype>(size) * static_cast<qsizetype>(count);
    const qsizetype n = std::min(room, r->bytes.size() - r->at);
    std::memcpy(buffer, r->bytes.constData() + r->at, static_cast<size_t>(n));
    r->at += n;
    return static_cast<size_t>(n);
}

bool isLoopback(const QString& server) {
    const QString host = QUrl(server).host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || host == QLatin1String("::1")) return true;
    // 127.0.0.0/8, written as an address: four numbers.
    const QStringList parts = host.split(QLatin1Char('.'));
    if (parts.size() != 4 || parts[0] != QLatin1String("127")) return false;
    return std::all_of(parts.begin(), parts.end(), [](const QString& p) {
        bool ok = false;
        const int n = p.toInt(&ok);
        return ok && !p.isEmpty() && p.size() <= 3 && n >= 0 && n <= 255 &&
               std::all_of(p.begin(), p.end(), [](QChar c) { return c.isDigit(); });
    });
}

// An envelope address as the server will read it: nothing that could end the command it stands in
// (a line break typed or pasted into the address box, say) or make it two addresses.
QString envelopeAddress(const QString& address) {
    QString a = address.trimmed();
    const bool bad = a.isEmpty() || std::any_of(a.begin(), a.end(), [](QChar c) {
                         return c.isSpace() || c.category() == QChar::Other_Control || c == QLatin1Char('<') ||
                                c == QLatin1Char('>');
                     });
    if (bad)
        runtime::raise(err::mapFailure,
                       QStringLiteral("La dirección de correo '%1' no es válida.").arg(headerValue(a)));
    return a;
}

QByteArray angle(const QString& address) { return ("<" + envelopeAddress(address) + ">").toUtf8(); }

} // namespace

void sendSmtp(const SmtpAccount& account, const QString& from, const QStringList& recipients,
              const QByteArray& message) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (recipients.isEmpty()) runtime::raise(err::mapFailure, QStringLiteral("El mensaje no tiene destinatario."));

    CURL* curl = curl_easy_init();
    if (!curl) runtime::raise(runtime::err::OutOfMemory);
    char reason[CURL_ERROR_SIZE] = {};
    curl_slist* rcpt = nullptr;
    const QByteArray url = account.server.toUtf8(), sender = angle(from), user = account.userName.toUtf8(),
                     password = account.password.toUtf8(), ca = account.caFile.toUtf8();
    std::vector<QByteArray> to;
    for (const QString& r : recipients)
        to.push_back(angle(r));
    for (const QByteArray& r : to)
        rcpt = curl_slist_append(rcpt, r.constData());
    Reader reader{message};

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, sender.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &readMessage);
    curl_easy_setopt(curl, CURLOPT_READDATA, &reader);
    curl_easy_setopt(curl, CURLOPT_USE_SSL,
                     static_cast<long>(isLoopback(account.server) ? CURLUSESSL_TRY : CURLUSESSL_ALL));
    if (!account.caFile.isEmpty()) curl_easy_setopt(curl, CURLOPT_CAINFO, ca.constData());
    if (!account.userName.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    // Slow is fine; stalled is not: a server that sends nothing for timeoutSeconds is given up.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(account.timeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(account.timeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, reason);
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    if (rc == CURLE_OK) return;

    const QString why = QString::fromUtf8(reason[0] ? reason : curl_easy_strerror(rc)).trimmed();
    const QString server = QUrl(account.server).host();
    if (rc == CURLE_LOGIN_DENIED)
        runtime::raise(
            err::mapLoginFail,
            QStringLiteral("El servidor de correo %1 rechazó el usuario o la contraseña (%2).").arg(server, why));
    runtime::raise(err::mapFailure, QStringLiteral("No se pudo enviar el correo por %1: %2.").arg(server, why));
}

void sendmail(const QString& program, const QString& from, const QStringList& recipients, const QByteArray& message,
              int timeoutSeconds) {
    if (!QFileInfo(program).isExecutable())
        runtime::raise(err::olFailure,
                       QStringLiteral("No hay sistema de correo en este equipo (falta %1).").arg(program));
    QStringList args{QStringLiteral("-i"), QStringLiteral("-f"), envelopeAddress(from), QStringLiteral("--")};
    for (const QString& r : recipients)
        args << envelopeAddress(r);
    // QProcess starts the program without a shell, and a program that stops reading early does not
    // kill this one: writing to its closed input is an error here, not a signal.
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(timeoutSeconds * 1000))
        runtime::raise(err::olFailure, QStringLiteral("No se pudo usar %1: %2.").arg(program, p.errorString()));
    p.write(message);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutSeconds * 1000)) {
        p.kill();
        p.waitForFinished(1000);
        runtime::raise(err::olFailure, QStringLiteral("%1 no terminó a tiempo.").arg(program));
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        const QString said = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        runtime::raise(err::olFailure, QStringLiteral("%1 no aceptó el mensaje (código %2)%3")
                                           .arg(program)
                                           .arg(p.exitCode())
                                           .arg(said.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + said));
    }
}

} // namespace mail

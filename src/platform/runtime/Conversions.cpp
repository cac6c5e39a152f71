#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <limits>
#include <map>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace runtime {

namespace {
const QDate kDayZero(1899, 12, 30);

// "1.5e+20" as the run-time writes it: "1.5E+20".
QByteArray withVbExponent(char* begin, char* end) {
    for (char* p = begin; p != end; ++p)
        if (*p == 'e') *p = 'E';
    return QByteArray(begin, end - begin);
}

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
} // namespace

Date Date::fromYmd(int year, int month, int day) {
    return Date{static_cast<double>(kDayZero.daysTo(QDate(year, month, day)))};
}

QString CStr(double number) {
    if (number == 0) return QStringLiteral("0"); // also -0
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::general, 15);
    return QString::fromLatin1(withVbExponent(buf, r.ptr));
}

QString CStrSingle(float number) {
    if (number == 0) return QStringLiteral("0");
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::general, 7);
    return QString::fromLatin1(withVbExponent(buf, r.ptr));
}

namespace {
// A date in whole seconds since day zero, rounded: the day and the time of day never disagree
// (23:59:59.6 is the next day at 00:00:00, never "24:00:00").
long long totalSeconds(Date date) { return std::llround(date.serial * 86400.0); }
int secondsOfDay(Date date) {
    const long long s = totalSeconds(date) % 86400;
    return static_cast<int>(s < 0 ? s + 86400 : s);
}
QDate dayOf(Date date) { return kDayZero.addDays((totalSeconds(date) - secondsOfDay(date)) / 86400); }
QString timeText(int seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QChar('0'))
        .arg(seconds / 60 % 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
}
} // namespace

Date Now() {
    // In whole seconds, as the platform's clock gives the time.
    const QDateTime now = QDateTime::currentDateTime();
    const QTime t = now.time();
    return Date{static_cast<double>(kDayZero.daysTo(now.date())) +
                (t.hour() * 3600 + t.minute() * 60 + t.second()) / 86400.0};
}

QString dateText(Date date) {
    QString text = dayOf(date).toString(QStringLiteral("dd/MM/yyyy"));
    if (const int s = secondsOfDay(date); s > 0) text += QLatin1Char(' ') + timeText(s);
    return text;
}

QString isoDateText(Date date) {
    return dayOf(date).toString(Qt::ISODate) + QLatin1Char(' ') + timeText(secondsOfDay(date));
}

bool parseIsoDate(const QString& text, Date& date) {
    static const QRegularExpression iso(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2}))?)?"));
    const auto m = iso.match(text);
    if (!m.hasMatch()) return false;
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!d.isValid()) return false;
    date.serial = static_cast<double>(kDayZero.daysTo(d)) +
                  (m.captured(4).toInt() * 3600 + m.captured(5).toInt() * 60 + m.captured(6).toInt()) / 86400.0;
    return true;
}

QString CStr(const FieldValue& value) {
    switch (value.kind()) {
    case FieldValue::Kind::Empty: return QString();
    case FieldValue::Kind::Null: raise(err::InvalidUseOfNull);
    case FieldValue::Kind::Number: return CStr(value.number());
    case FieldValue::Kind::Text: return value.text();
    case FieldValue::Kind::Date: return dateText(value.date());
    }
    return QString();
}

QString textOf(const FieldValue& value) { return value.isNull() ? QString() : CStr(value); }

double roundTo15Digits(double number) {
    if (number == 0) return 0;
    // A whole number below 10^15 has at most 15 digits already (margins, discounts, most prices).
    if (std::fabs(number) < 1e15 && std::trunc(number) == number) return number;
    char buf[40];
    const auto written = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::general, 15);
    double result = 0;
    const auto read = std::from_chars(buf, written.ptr, result);
    if (read.ec == std::errc::result_out_of_range) raise(err::Overflow);
    return result;
}

double CDbl(const QString& text) {
    // Blanks, one optional sign, digits with at most one decimal point, an exponent written
    // with E or D, blanks. Anything else is not a number.
    qsizetype i = 0, n = text.size();
    while (i < n && text[i].isSpace())
        ++i;
    while (n > i && text[n - 1].isSpace())
        --n;
    char buf[400];
    std::size_t k = 0;
    auto put = [&](char c) {
        if (k + 1 >= sizeof buf) raise(err::TypeMismatch);
        buf[k++] = c;
    };
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) negative = text[i++] == QLatin1Char('-');
    int digits = 0;
    while (i < n && isDigit(text[i]))
        put(text[i++].toLatin1()), ++digits;
    if (i < n && text[i] == QLatin1Char('.')) {
        put('.');
        ++i;
        while (i < n && isDigit(text[i]))
            put(text[i++].toLatin1()), ++digits;
    }
    if (digits == 0) raise(err::TypeMismatch);
    if (i < n && QStringLiteral("EeDd").contains(text[i])) {
        put('e');
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) put(text[i++].toLatin1());
        if (i >= n || !isDigit(text[i])) raise(err::TypeMismatch);
        while (i < n && isDigit(text[i]))
            put(text[i++].toLatin1());
    }
    if (i != n) raise(err::TypeMismatch);
    double result = 0;
    const auto r = std::from_chars(buf, buf + k, result);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large overflows; too small is zero.
        const std::string_view number(buf, k); // not NUL-terminated
        const auto e = number.find('e');
        const bool tooLarge = e == std::string_view::npos || number.find('-', e) == std::string_view::npos;
        if (tooLarge) raise(err::Overflow);
        result = 0;
    } else if (r.ec != std::errc() || r.ptr != buf + k) {
        raise(err::TypeMismatch);
    }
    return negative ? -result : result;
}

double CDbl(const FieldValue& value) {
    switch (value.kind()) {
    case FieldValue::Kind::Empty: return 0;
    case FieldValue::Kind::Null: raise(err::InvalidUseOfNull);
    case FieldValue::Kind::Number: return value.number();
    case FieldValue::Kind::Text: return CDbl(value.text());
    case FieldValue::Kind::Date: return value.date().serial;
    }
    return 0;
}

Date CDate(const QString& text) {
    static const QRegularExpression fecha(
        QStringLiteral("^\\s*(\\d{1,2})[-/.](\\d{1,2})[-/.](\\d{2,4})(?:\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?\\s*$"));
    const auto m = fecha.match(text);
    if (!m.hasMatch()) raise(err::TypeMismatch);
    int year = m.captured(3).toInt();
    if (m.captured(3).size() == 2) year += year < 30 ? 2000 : 1900;
    const QDate d(year, m.captured(2).toInt(), m.captured(1).toInt());
    if (!d.isValid()) raise(err::TypeMismatch);
    double serial = kDayZero.daysTo(d);
    if (!m.captured(4).isEmpty())
        serial += (m.captured(4).toInt() * 3600 + m.captured(5).toInt() * 60 + m.captured(6).toInt()) / 86400.0;
    return Date{serial};
}

bool greaterOrEqual(const FieldValue& value, double number) {
    switch (value.kind()) {
    case FieldValue::Kind::Null: return false; // a comparison with Null is never true
    case FieldValue::Kind::Empty: return 0 >= number;
    case FieldValue::Kind::Number: return value.number() >= number;
    case FieldValue::Kind::Text: return CDbl(value.text()) >= number;
    case FieldValue::Kind::Date: return value.date().serial >= number;
    }
    return false;
}

namespace {
template <typename T> T roundHalfEven(double number) {
    if (std::isnan(number)) raise(err::Overflow);
    const double r = std::nearbyint(number); // the default rounding mode keeps halves to even
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max()))
        raise(err::Overflow);
    return static_cast<T>(r);
}
} // namespace

int32_t CLng(double number) { return roundHalfEven<int32_t>(number); }
int16_t CInt(double number) { return roundHalfEven<int16_t>(number); }

QString Trim(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

void Kill(const QString& path) {
    QFile file(path);
    if (!file.exists()) raise(err::FileNotFound);
    if (!file.remove()) raise(err::PathFileAccessError);
}

namespace {
// The files writeFile made, by device and inode, with a digest of what was written: a name can be
// taken over and an inode used again, but not with the same bytes unless they are these.
std::map<std::pair<dev_t, ino_t>, QByteArray>& filesWritten() {
    static std::map<std::pair<dev_t, ino_t>, QByteArray> files;
    return files;
}
QByteArray digest(const QByteArray& bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256); }
} // namespace

bool wroteFile(int fd, const QByteArray& bytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const auto it = filesWritten().find({st.st_dev, st.st_ino});
    return it != filesWritten().end() && it->second == digest(bytes);
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    // The bytes go to a new file beside the target, which takes the target's name only once they
    // are all there: a full disk leaves no half-written file, and the file that was there before
    // stays as it was.
    const QByteArray target = QFile::encodeName(path);
    QByteArray part;
    int fd = -1;
    for (int n = 0; fd < 0 && n < 100; ++n) {
        part = target + ".parte-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(n);
        fd = ::open(part.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool written = true;
    const char* p = bytes.constData();
    for (qsizetype left = bytes.size(); written && left > 0;) {
        const ssize_t n = ::write(fd, p, static_cast<std::size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            written = false;
            break;
        }
        p += n;
        left -= n;
    }
    written = written && ::fsync(fd) == 0;
    struct stat made {};
    written = written && ::fstat(fd, &made) == 0;
    written = ::close(fd) == 0 && written;
    // rename() replaces a link standing at the name, never what it leads to.
    if (written && ::rename(part.constData(), target.constData()) == 0) {
        filesWritten()[{made.st_dev, made.st_ino}] = digest(bytes);
        return true;
    }
    ::unlink(part.constData());
    return false;
}

QString formatHashes(double number) {
    const double r = std::round(number); // halves away from zero
    if (r == 0) return QString();
    return QString::number(r, 'f', 0);
}

} // namespace runtime

#include "import/JetValues.h"

#include <QDate>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace importer {

QString jetDateText(double serial) {
    if (!std::isfinite(serial) || std::fabs(serial) > 3e6) return {};
    const double whole = std::trunc(serial);
    long long days = static_cast<long long>(whole);
    long long seconds = std::llround(std::fabs(serial - whole) * 86400.0);
    if (seconds >= 86400) { // rounded up to the next midnight
        seconds -= 86400;
        ++days;
    }
    const QDate date = QDate(1899, 12, 30).addDays(days);
    if (!date.isValid() || date.year() < 100 || date.year() > 9999) return {};
    return QString::asprintf("%04d-%02d-%02d %02lld:%02lld:%02lld", date.year(), date.month(), date.day(),
                             seconds / 3600, seconds / 60 % 60, seconds % 60);
}

QString unicodeText(const unsigned char* b, std::size_t length) {
    std::u16string out;
    if (length >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        bool oneByte = true;
        for (std::size_t i = 2; i < length;) {
            if (b[i] == 0) {
                oneByte = !oneByte;
                ++i;
            } else if (oneByte) {
                out += static_cast<char16_t>(b[i++]);
            } else if (i + 1 < length) {
                out += static_cast<char16_t>(b[i] | b[i + 1] << 8);
                i += 2;
            } else {
                break; // half a character at the end: not a character
            }
        }
    } else {
        out.reserve(length / 2);
        for (std::size_t i = 0; i + 1 < length; i += 2)
            out += static_cast<char16_t>(b[i] | b[i + 1] << 8);
    }
    return QString::fromUtf16(out.data(), static_cast<qsizetype>(out.size()));
}

QString currencyText(int64_t tenThousandths) {
    const bool negative = tenThousandths < 0;
    const uint64_t magnitude =
        negative ? ~static_cast<uint64_t>(tenThousandths) + 1 : static_cast<uint64_t>(tenThousandths);
    return QString::asprintf("%s%llu.%04llu", negative ? "-" : "", static_cast<unsigned long long>(magnitude / 10000),
                             static_cast<unsigned long long>(magnitude % 10000));
}

QString decimalText(const unsigned char* b, int scale) {
    // The magnitude as four 32-bit words, most significant first; written by long division by 10.
    uint32_t words[4];
    for (int word = 0; word < 4; ++word) {
        const unsigned char* w = b + 1 + std::ptrdiff_t(4) * word;
        words[word] = uint32_t(w[0]) | uint32_t(w[1]) << 8 | uint32_t(w[2]) << 16 | uint32_t(w[3]) << 24;
    }
    std::string digits;
    for (;;) {
        uint64_t remainder = 0;
        bool zero = true;
        for (uint32_t& w : words) {
            const uint64_t current = remainder << 32 | w;
            w = static_cast<uint32_t>(current / 10);
            remainder = current % 10;
            zero = zero && w == 0;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + remainder));
        if (zero) break;
    }
    scale = std::max(0, std::min(scale, 38));
    if (scale > 0) {
        if (static_cast<int>(digits.size()) <= scale)
            digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - static_cast<std::size_t>(scale), 1, '.');
    }
    const bool zero = digits.find_first_not_of("0.") == std::string::npos;
    return QString::fromLatin1((b[0] && !zero ? "-" : "") + digits);
}

DecimalValue decimalValue(const QString& text) {
    const QByteArray latin = text.toLatin1();
    DecimalValue r;
    // Whatever the locale: the text always has a point, and so has what is compared with it.
    std::from_chars(latin.constData(), latin.constData() + latin.size(), r.value);
    // Significant digits: from the first digit that is not 0 to the last.
    int significant = 0, pendingZeros = 0;
    bool started = false;
    for (const char c : latin) {
        if (c < '0' || c > '9') continue;
        if (c == '0') {
            if (started) ++pendingZeros;
            continue;
        }
        significant += started ? pendingZeros + 1 : 1;
        pendingZeros = 0;
        started = true;
    }
    if (significant <= 15) return r;
    // More digits than a double always keeps: it holds them only if it writes them back.
    const auto point = latin.indexOf('.');
    const int decimals = point < 0 ? 0 : static_cast<int>(latin.size() - point - 1);
    char back[512];
    const auto written = std::to_chars(back, back + sizeof back, r.value, std::chars_format::fixed, decimals);
    r.exact = written.ec == std::errc() && latin == QByteArray(back, static_cast<qsizetype>(written.ptr - back));
    return r;
}

} // namespace importer

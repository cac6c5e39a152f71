// The run-time's conversions between texts and numbers, the "###" pattern and the null-safe
// reader, fed arbitrary texts and arbitrary doubles. Each finding stops the run (abort) with the
// input that caused it.
#include "database/DatabaseAccess.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

[[noreturn]] void finding(const char* what, const QString& detail) {
    std::fprintf(stderr, "FINDING: %s: %s\n", what, qPrintable(detail));
    std::abort();
}

template <typename F> std::optional<double> attempt(F f) {
    try {
        return f();
    } catch (const runtime::Failure&) {
        return std::nullopt;
    }
}

// A finite number written with CStr reads back as the number kept to 15 digits, and "###"
// writes it as digits only.
void checkNumber(double d) {
    if (!std::isfinite(d)) return;
    const auto viaText = attempt([&] { return runtime::CDbl(runtime::CStr(d)); });
    const auto direct = attempt([&] { return runtime::roundTo15Digits(d); });
    if (viaText.has_value() != direct.has_value() || (viaText && *viaText != *direct))
        finding("CDbl(CStr(x)) differs from roundTo15Digits(x)", QString::number(d, 'g', 17));
    const QString hashes = runtime::formatHashes(d);
    static const QRegularExpression digits(QStringLiteral("^-?([1-9][0-9]*)?$"));
    if (!digits.match(hashes).hasMatch()) finding("\"###\" wrote more than digits", hashes);
    if (std::fabs(d) < 1e15) {
        const double rounded = std::round(std::fabs(d)); // (floor(x + 0.5) is wrong just below one half)
        const QString expected = rounded == 0 ? QString() : QString::number(rounded, 'f', 0);
        if (QString(hashes).remove(QLatin1Char('-')) != expected)
            finding("\"###\" did not round half away from zero", QString::number(d, 'g', 17) + " -> " + hashes);
    }
    attempt([&] { return static_cast<double>(runtime::CLng(d)); });
    attempt([&] { return static_cast<double>(runtime::CInt(d)); });
}

// The null-safe reader never fails, whatever the value and the type code.
void checkValorSinNulo(runtime::FieldValue value, int32_t type) {
    const bool finiteIn = value.kind() != runtime::FieldValue::Kind::Number || std::isfinite(value.number());
    try {
        const runtime::FieldValue r = database::ValorSinNulo(value, type);
        if (finiteIn && r.kind() == runtime::FieldValue::Kind::Number && !std::isfinite(r.number()))
            finding("ValorSinNulo gave a number that is not finite", QString::number(r.number()));
    } catch (...) {
        finding("ValorSinNulo let a failure out", QString::number(type));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto d = attempt([&] { return runtime::CDbl(text); })) {
        if (!std::isfinite(*d)) finding("CDbl read a number that is not finite", text);
        checkNumber(*d);
    }
    if (size >= 8) {
        double d;
        std::memcpy(&d, data, sizeof d);
        checkNumber(d);
        checkValorSinNulo(runtime::FieldValue(d), data[size - 1] % 4);
    }
    const int32_t type = size ? data[0] % 4 : 0;
    checkValorSinNulo(runtime::FieldValue(text), type);
    checkValorSinNulo(runtime::FieldValue::Null(), type);
    try {
        runtime::CDate(text);
    } catch (const runtime::Failure&) {
    }
    runtime::Date date;
    runtime::parseIsoDate(text, date);
    return 0;
}

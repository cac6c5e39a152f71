#include "platform/runtime/Arithmetic.h"
#include "platform/runtime/Failure.h"

#include <cmath>
#include <limits>

namespace runtime {

namespace {
double checked(double result) {
    if (std::isinf(result)) raise(err::Overflow);
    return result;
}
} // namespace

int32_t addLong(int32_t a, int32_t b) {
    int32_t r;
    if (__builtin_add_overflow(a, b, &r)) raise(err::Overflow);
    return r;
}

int32_t multiplyLong(int32_t a, int32_t b) {
    int32_t r;
    if (__builtin_mul_overflow(a, b, &r)) raise(err::Overflow);
    return r;
}

double add(double a, double b) { return checked(a + b); }
double subtract(double a, double b) { return checked(a - b); }
double multiply(double a, double b) {
    const double r = a * b;
    if (std::isnan(r) && !std::isnan(a) && !std::isnan(b)) raise(err::Overflow); // 0 × infinity
    return checked(r);
}

double divide(double a, double b) {
    if (b == 0) raise(a == 0 ? err::Overflow : err::DivisionByZero); // 0/0 is an overflow
    return checked(a / b);
}

float toSingle(double value) {
    if (std::fabs(value) > std::numeric_limits<float>::max()) raise(err::Overflow);
    return static_cast<float>(value);
}

} // namespace runtime

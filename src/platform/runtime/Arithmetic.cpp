#include "platform/runtime/Arithmetic.h"
#include "platform/runtime/Failure.h"

#include <cmath>
#include <limits>

namespace rt {

namespace {
double comprobado(double result) {
    if (std::isinf(result)) raise(err::Desbordamiento);
    return result;
}
} // namespace

int32_t sumaLng(int32_t a, int32_t b) {
    int32_t r;
    if (__builtin_add_overflow(a, b, &r)) raise(err::Desbordamiento);
    return r;
}

int32_t productoLng(int32_t a, int32_t b) {
    int32_t r;
    if (__builtin_mul_overflow(a, b, &r)) raise(err::Desbordamiento);
    return r;
}

int16_t sumaInt(int16_t a, int16_t b) {
    int16_t r;
    if (__builtin_add_overflow(a, b, &r)) raise(err::Desbordamiento);
    return r;
}

double suma(double a, double b) { return comprobado(a + b); }
double resta(double a, double b) { return comprobado(a - b); }
double producto(double a, double b) {
    const double r = a * b;
    if (std::isnan(r) && !std::isnan(a) && !std::isnan(b)) raise(err::Desbordamiento); // 0 × infinity
    return comprobado(r);
}

double cociente(double a, double b) {
    if (b == 0) raise(a == 0 ? err::Desbordamiento : err::DivisionPorCero); // 0/0 is an overflow
    return comprobado(a / b);
}

float aSingle(double value) {
    if (std::fabs(value) > std::numeric_limits<float>::max()) raise(err::Desbordamiento);
    return static_cast<float>(value);
}

} // namespace rt

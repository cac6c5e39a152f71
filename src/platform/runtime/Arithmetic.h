#pragma once
// Checked arithmetic of the run-time: 32-bit integers overflow, doubles overflow when a result
// becomes infinite, and a division by zero is its own failure.
#include <cstdint>

namespace runtime {

int32_t addLong(int32_t a, int32_t b);
int32_t multiplyLong(int32_t a, int32_t b);

double add(double a, double b);
double subtract(double a, double b);
double multiply(double a, double b);
double divide(double a, double b);

// A double handed to a single-precision property: beyond float's range it overflows.
float toSingle(double value);

} // namespace runtime

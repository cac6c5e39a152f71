#pragma once
// Checked arithmetic of the run-time: 32-bit integers overflow, doubles overflow when a result
// becomes infinite, and a division by zero is its own failure.
#include <cstdint>

namespace rt {

int32_t sumaLng(int32_t a, int32_t b);
int32_t productoLng(int32_t a, int32_t b);
int16_t sumaInt(int16_t a, int16_t b);

double suma(double a, double b);
double resta(double a, double b);
double producto(double a, double b);
double cociente(double a, double b);

// A double handed to a single-precision property: beyond float's range it overflows.
float aSingle(double value);

} // namespace rt

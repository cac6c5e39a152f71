#pragma once
// How Jet and ACE store their values, read exactly: dates, texts, currency and decimals. Pure
// functions of the stored bytes, so that each mapping can be checked without a file.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace importer {

// A date as Jet keeps it, a double: whole days since 30 December 1899 (counting back before it),
// the fraction being the time of day (also for dates before it: -1.25 is 29 December 1899,
// 06:00). Not the program's own rule below zero: see runtime/Conversions.h for both. Written as
// the program reads dates, "YYYY-MM-DD HH:MM:SS", rounded to the second. Empty for what no Jet
// date can be (not finite, or outside the years 100 to 9999).
QString jetDateText(double serial);

// Text as Jet 4 and ACE store it: UTF-16 in little-endian order, or "compressed" (the bytes
// 0xFF 0xFE, then runs of one-byte characters and of two-byte ones, each 0 byte switching).
QString unicodeText(const unsigned char* bytes, std::size_t length);

// A currency value: a 64-bit integer of ten-thousandths, written exactly with four decimals.
QString currencyText(int64_t tenThousandths);

// A decimal as Jet 4 stores it: a sign byte (0 positive), then the 96- or 128-bit magnitude as
// four 32-bit words, most significant word first, each word little-endian. Written exactly
// with `scale` decimals.
QString decimalText(const unsigned char* bytes17, int scale);

// A number written as decimal text, as a double: the nearest one, and whether it holds every
// digit of the text (at most 15 significant digits always do).
struct DecimalValue {
    double value = 0;
    bool exact = true;
};
DecimalValue decimalValue(const QString& text);

} // namespace importer

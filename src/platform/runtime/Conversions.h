#pragma once
// The standard conversions of the run-time between numbers, texts and dates.
// Numbers are written with at most 15 significant digits and a period as decimal separator,
// and read back from the same form.
#include "platform/runtime/FieldValue.h"
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace runtime {

QString CStr(double number);
QString CStrSingle(float number);        // 7 significant digits
QString CStr(const FieldValue& value);   // Null fails with a type mismatch; Empty gives ""
QString textOf(const FieldValue& value); // as in text concatenation: Null and Empty give ""
double CDbl(const QString& text);        // fails with a type mismatch when no number is there
double CDbl(const FieldValue& value);    // Empty gives 0, Null fails
// CDbl(CStr(number)) for a finite number, without the texts: the number kept to 15 significant
// digits (fails with an overflow where that rounds beyond the largest double).
double roundTo15Digits(double number);
// A Date's serial counts days on one line from midnight at the start of 30 December 1899,
// backwards as well as forwards: -0.75 is 29 December 1899 at 06:00, and the order and the
// difference of two serials are those of their moments. Jet and ACE store a date as a double by
// another rule: the whole part is the day, the fraction the time of day whatever the sign, so
// -1.25 is that same moment (importer::jetDateText reads it). The two agree on every serial from
// 0 up and on every whole day; they part only before 30 December 1899 with a time, and no serial
// of the program's leaves it as a number: dates are stored as the texts isoDateText writes.
Date CDate(const QString& text);                    // day-month-year; fails with a type mismatch
Date Now();                                         // this moment, on the local clock
QString dateText(Date date);                        // dd/mm/yyyy, with the time when there is one
QString isoDateText(Date date);                     // yyyy-mm-dd hh:mm:ss, as dates are stored in the database
bool parseIsoDate(const QString& text, Date& date); // reads yyyy-mm-dd[ hh:mm[:ss]]; false if it is not one

// Comparison of a value with a number, as the run-time compares a field with a literal:
// a text that holds a number compares numerically, any other text fails with a type mismatch.
bool greaterOrEqual(const FieldValue& value, double number);

// Rounding conversions: halves to even, failing with an overflow outside the target range.
int32_t CLng(double number);
int16_t CInt(double number);

// Trim: the text without the blanks (spaces only) at either end.
QString Trim(const QString& text);

// Kill: deletes a file; a file that is not there fails with "file not found".
void Kill(const QString& path);

// Writes a whole file, or nothing: made if it is not there, never through a link standing at its
// name (in a folder that others write too, one may have been put there to send the write
// elsewhere). False when it cannot; a file that was there is then as it was. The file is at most
// 0644, whatever the umask: in a folder shared by a group, no other member may write into it.
bool writeFile(const QString& path, const QByteArray& bytes);
// Whether the open file, read as `bytes`, is one that writeFile made in this program and holds
// what it wrote (not a file put at its name since): what the program reads back of its own
// files is then its own.
bool wroteFile(int fd, const QByteArray& bytes);

// The number pattern "###": rounded half away from zero, no leading zeros, no decimals,
// no separators; zero writes no digits at all.
QString formatHashes(double number);

} // namespace runtime

#pragma once
// How far a long piece of work has gone, on a terminal: one line redrawn in place, and numbers
// grouped as Spanish writes them. Where standard output is not a terminal (a pipe, a file), no
// progress is drawn at all: what reads the output gets only the lines that stay.
#include <QString>

namespace command {

QString thousands(long long n); // 1234567 → "1.234.567"
bool onTerminal();              // standard output is a terminal

// "  <label> [#########                     ] 1.024 de 3.072", the label printable and cut to 28
// characters; `total` below `done` counts as `done`.
void showProgress(const QString& label, long long done, long long total);
// Ends the line showProgress drew, before a message of its own.
void endProgressLine();

} // namespace command

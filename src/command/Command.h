#pragma once
// A Spanish command-line program over the shop's database: its name as installed (what it prints
// to standard error begins with it), its usage text, its arguments and its exit status. Texts
// that come from outside (file names, names inside a file, an option typed) are printed with
// their control characters escaped, never as they are.
#include <QString>
#include <QStringList>

namespace command {

// Exit statuses every such program shares; a program adds its own from 3 up.
constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kBadArguments = 2;
constexpr int kInterrupted = 130; // as a shell reports a program ended by Ctrl+C

// Set once, first thing in main: the installed name ("actualizapvp-import") and the usage text
// that -h prints and a wrong call repeats.
void setProgram(const char* name, const char* usage);
const char* programName();

struct Arguments {
    QStringList options;  // the known options given, in order
    QStringList operands; // everything else ("-" alone included), in order
    bool help = false;    // -h or --help came before any unknown option
    QString unknown;      // the first unknown option, where it came before any -h
    bool has(const QString& option) const { return options.contains(option); }
};
// Read in order, up to the first -h or unknown option.
Arguments readArguments(int argc, const char* const* argv, const QStringList& known);

int showHelp();                            // the usage on standard output; kDone
int badArguments(const QString& why = {}); // why, if given, then the usage, on standard error; kBadArguments
int fail(const QString& subject, const QString& why, int code = kFailed); // "name: subject: why"; code

// A text from outside as it may be shown on a terminal: control characters, and the marks that
// reorder what follows them, escaped (\x1b, \u202e).
QString printable(const QString& text);
// A name from outside within a sentence: printable, in single quotes ('DateTest').
QString shownName(const QString& name);

} // namespace command

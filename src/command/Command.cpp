#include "command/Command.h"

#include <cstdio>

namespace command {

namespace {
const char* name_ = "";
const char* usage_ = "";
} // namespace

void setProgram(const char* name, const char* usage) {
    name_ = name;
    usage_ = usage;
}

const char* programName() { return name_; }

Arguments readArguments(int argc, const char* const* argv, const QStringList& known) {
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            a.help = true;
            break;
        }
        if (known.contains(arg)) {
            a.options << arg;
        } else if (arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
            a.unknown = arg;
            break;
        } else {
            a.operands << arg;
        }
    }
    return a;
}

int showHelp() {
    std::fputs(usage_, stdout);
    return kDone;
}

int badArguments(const QString& why) {
    if (!why.isEmpty()) std::fprintf(stderr, "%s: %s\n\n", name_, printable(why).toUtf8().constData());
    std::fputs(usage_, stderr);
    return kBadArguments;
}

int fail(const QString& subject, const QString& why, int code) {
    std::fprintf(stderr, "%s: %s: %s\n", name_, printable(subject).toLocal8Bit().constData(), why.toUtf8().constData());
    return code;
}

QString printable(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else if ((u >= 0x200e && u <= 0x200f) || (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069))
            shown += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0')); // marks that reorder what follows
        else
            shown += c;
    }
    return shown;
}

QString shownName(const QString& name) { return QLatin1Char('\'') + printable(name) + QLatin1Char('\''); }

} // namespace command

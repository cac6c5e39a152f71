#pragma once
// The target is made under a name of its own in its own folder, and takes its name only once
// complete: a crash, a full disk or Ctrl+C leaves no half-made database under that name. It
// replaces an existing target only when asked to, also one made while the conversion ran: the
// complete file takes its name by a rename that cannot replace.
#include <QString>

namespace importer {

struct Temporary {
    QString path;  // ".<target's name>.XXXXXX" beside the target, empty, the group's as the umask says
    int error = 0; // or why it could not be made (an errno)
};
Temporary makeTemporary(const QString& target);

// The complete file synced, given the target's name (over what is there only with `replace`),
// and the name synced too. 0, or why not (an errno: EEXIST where a file appeared meanwhile); the
// temporary file is then gone.
int publish(const QString& temporary, const QString& target, bool replace);

void discard(const QString& temporary);

} // namespace importer

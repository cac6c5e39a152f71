#pragma once
// The name of one error report's files: its base path, to which the picture's extensions are
// added (".bmp" while it is made, ".jpg" when it is sent). Each report gets a name no other
// report has: the documented one (the program folder's image folder and the moment's digits) when
// it is free, otherwise the same followed by "-2", "-3"... It is held from the report window's
// load until the window goes: in this program, and on disk by the JPEG's name, made empty and
// locked (flock) until the report writes its picture there.
//
// A name is free when no window of this program holds it and nothing stands at it on disk (under
// either extension, in any letter case, a link that leads nowhere included), or when its JPEG is
// an empty file that no program holds, this user's own: one left by a program that ended
// without closing its window. Whoever locks it first owns it; a program that finds it locked, or
// gone or replaced once it holds the lock, takes the next name.
#include <QDateTime>
#include <QString>

namespace forms {

class ReportPicture {
public:
    ReportPicture() = default;
    ~ReportPicture(); // lets go of the name; a report never prepared leaves nothing behind
    ReportPicture(const ReportPicture&) = delete;
    ReportPicture& operator=(const ReportPicture&) = delete;

    // The report's base path for a program folder and a moment: the folder, the image folder, and
    // the year, month, day, hour, minute and second without leading zeros or separators.
    static QString basePathFor(const QString& programFolder, const QDateTime& moment);
    // Makes the image folder if it is not there. In a folder shared by a group (set-group-ID),
    // the folder made is the group's to write too, and each member's files are that member's
    // alone to remove or rename (sticky).
    static void makeFolder(const QString& folder);

    // Holds the documented base path, or the first free one after it (letting go of what was held
    // before), and gives it. Where the folder cannot be written, the name is held in this program
    // only.
    const QString& hold(const QString& documented);
    void release();
    const QString& basePath() const { return basePath_; }

private:
    QString basePath_;
    int placeholder_ = -1; // the JPEG's name held on disk: open and locked while held
};

} // namespace forms

#pragma once

#include "TestKind.h"

#include <QStringView>

// Object names of the main window's controls that the tests and their helpers touch.
namespace kardelo::controls {

inline constexpr QStringView Command1 = u"Command1"; // single-file test
inline constexpr QStringView Command8 = u"Command8"; // multi-file test
inline constexpr QStringView cmdProt = u"cmdProt";   // save to the results log
inline constexpr QStringView cmdSnap = u"cmdSnap";   // screenshot
inline constexpr QStringView Combo1 = u"Combo1";     // file size, MByte
inline constexpr QStringView Combo2 = u"Combo2";     // block size, KByte
inline constexpr QStringView Frame1 = u"Frame1";     // free-space frame

// Single-file results.
inline constexpr QStringView Label1 = u"Label1"; // write time
inline constexpr QStringView Label2 = u"Label2"; // write throughput
inline constexpr QStringView Label3 = u"Label3"; // read time
inline constexpr QStringView Label4 = u"Label4"; // read throughput

// Multi-file results.
inline constexpr QStringView Label20 = u"Label20"; // write time
inline constexpr QStringView Label18 = u"Label18"; // write throughput
inline constexpr QStringView Label21 = u"Label21"; // read time
inline constexpr QStringView Label19 = u"Label19"; // read throughput

// Free space.
inline constexpr QStringView Label11 = u"Label11"; // free for the current user
inline constexpr QStringView Label22 = u"Label22"; // free in total
inline constexpr QStringView Label33 = u"Label33"; // total size

// The four result labels of a test's frame.
struct ResultLabels {
    QStringView writeTime;
    QStringView writeSpeed;
    QStringView readTime;
    QStringView readSpeed;
};
constexpr ResultLabels resultLabelsOf(TestKind kind)
{
    if (kind == TestKind::MultiFile)
        return {Label20, Label18, Label21, Label19};
    return {Label1, Label2, Label3, Label4};
}

} // namespace kardelo::controls

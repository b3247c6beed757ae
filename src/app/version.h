#pragma once

#include <QString>

// Version of the program, fixed at build time.
namespace version {
constexpr int kMajor = 1;
constexpr int kMinor = 2;
constexpr int kRevision = 0;
} // namespace version

// "Version " + major + "." + minor as two digits, then "." + revision when the
// revision is not 0: versionLine(1, 2, 0) is "Version 1.02", versionLine(1, 2, 5)
// is "Version 1.02.5".
QString versionLine(int major, int minor, int revision);

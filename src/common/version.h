#pragma once

#include <QString>

// Version of the program, fixed at build time from the project's version.
namespace version {
constexpr int kMajor = BIN4870_VERSION_MAJOR;
constexpr int kMinor = BIN4870_VERSION_MINOR;
constexpr int kRevision = BIN4870_VERSION_PATCH;
} // namespace version

// "Version " + major + "." + minor as two digits, then "." + revision when the
// revision is not 0: versionLine(1, 2, 0) is "Version 1.02", versionLine(1, 2, 5)
// is "Version 1.02.5".
QString versionLine(int major, int minor, int revision);

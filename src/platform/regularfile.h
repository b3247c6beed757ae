#pragma once

#include "common/result.h"

#include <QString>

#include <optional>
#include <sys/types.h>

// The program keeps its records and its set-up in plain files only. A named
// pipe, a device, a socket or a folder standing where such a file belongs is
// refused before it is opened, and opening never waits for the other end of a
// pipe. These helpers follow symbolic links unless they say otherwise.
namespace regularfile {

// Where a path leads.
enum class Kind { Missing, Regular, Directory, Pipe, CharacterDevice, BlockDevice, Socket, Unknown };

// What stands at path, following symbolic links. A path that cannot be looked
// at (no permission on a folder, a name too long) fails with the system's
// reason; a missing folder on the way counts as Missing.
Result<Kind> kindOf(const QString &path);

// The same without following a final symbolic link; a link gives Symlink.
bool isSymbolicLink(const QString &path);

// "a named pipe", "a device", "a folder", ... for a message.
QString describe(Kind kind);

// "<path> is a named pipe, not a regular file" for anything but Missing,
// Regular and Unknown; empty otherwise.
QString refusalText(const QString &path, Kind kind);

// Opens path with the open(2) flags given (O_RDONLY, or O_WRONLY | O_APPEND |
// O_CREAT, ...), only when it is a regular file or, with O_CREAT, missing.
// Never blocks: the file is opened non-blocking, checked on its descriptor and
// only then switched to ordinary blocking I/O. The descriptor is the caller's;
// a failure (ErrorKind::FileIo) says why and names the path.
Result<int> open(const QString &path, int flags);

// Device and inode of a file: two names lead to the same file when these match.
struct Identity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity &other) const
    {
        return device == other.device && inode == other.inode;
    }
    bool operator!=(const Identity &other) const { return !(*this == other); }
};

// Nothing when the descriptor cannot be looked at.
std::optional<Identity> identityOf(int fd);
// Nothing when the path leads nowhere (it, or a folder on the way, is
// missing); fails with the system's reason when it cannot be looked at.
Result<std::optional<Identity>> identityOf(const QString &path);

} // namespace regularfile

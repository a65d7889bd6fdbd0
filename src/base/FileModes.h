#pragma once
// Changing a file's mode where the file system may hold none. The usual USB
// stick is FAT or exFAT: it keeps no Unix modes, and its drivers refuse a
// change (EPERM under the usual fmask, ENOSYS or EOPNOTSUPP through FUSE).
// There the file is written anyway and the medium's own rules apply; on a
// file system that holds modes a refused change stays an error.
#include <string>
#include <sys/types.h>

namespace FileModes {

// Like fchmod(2): 0, or -1 with errno set. A refusal by a file system that
// holds no Unix modes counts as done.
int Change(int Fd, mode_t Mode);

// Like chmod(2) (a link is followed), with the same allowance.
int ChangeAt(const std::string& Path, mode_t Mode);

// Whether Error, returned by a mode change of the file open at Fd, only
// says that its file system holds no Unix modes.
bool NoModesThere(int Fd, int Error);

} // namespace FileModes

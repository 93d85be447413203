// The POSIX named blocks and events of the user's session.
//
// They live as files in a folder of the user's in memory, never on disk (a
// block may hold a password): $XDG_RUNTIME_DIR/pennaform when that folder is
// the user's own with mode 0700, else /dev/shm/pennaform-<uid>. The folder is
// made 0700 and each file 0600; every open checks, on the opened descriptors,
// that neither is a link, both belong to the user and neither grants anything
// to group or others. Anything else means the object cannot be opened
// (ERROR_ACCESS_DENIED): another user can create names in a shared folder
// before us, and the check is the defence.
//
// Names are escaped into file names (only letters, digits, '_' and '-' stay;
// every other byte becomes %XX), so no name leaves the folder, and carry a
// hash of the resolved state home, so two homes never share an object.
// Objects live as long as the folder (the user's login session), not only
// while some process has them open.
//
// A block's lock is a flock on the descriptor each open owns, so two opens in
// one process exclude each other as two processes do, and the kernel drops
// it when its holder dies. The block is read and written with pread/pwrite
// under the lock, never mapped, so a block cut short by another process
// cannot fault this one. An event is a mapped 4096-byte file whose first word
// is the signal; waiters sleep on it with a shared futex.
#pragma once

#include <memory>

#include "platform/SharedMemory.h"
#include "platform/StateHome.h"

namespace pennaform::platform {

std::unique_ptr<SharedMemory> makePosixSharedMemory(const StateHome& home);

}  // namespace pennaform::platform

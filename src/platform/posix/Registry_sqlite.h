// The registry hives of the POSIX backend, kept in SQLite databases.
#pragma once

#include <memory>

#include "platform/Registry.h"
#include "platform/posix/StateDatabase.h"

namespace pennaform::platform {

// makeSqliteRegistry: the per-user hive in `userDatabase` (read and written)
// and the machine hive in `machineDatabase` (only read).
std::unique_ptr<Registry> makeSqliteRegistry(std::shared_ptr<StateDatabase> userDatabase,
                                             std::shared_ptr<StateDatabase> machineDatabase);

}  // namespace pennaform::platform

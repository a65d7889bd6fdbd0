#pragma once
// Failures of the entity registry, on top of the file errors of the base.
#include "base/FileErrors.h"

#include <string>

// A storage file stayed unreadable for every attempt while the registry was
// being built; carries the Portuguese explanation plus the last failure.
QUORVEX_EXCEPTION(EStorageOpenError, EFOpenError);
// A new entity asked for while the registry holds as many live entities as
// the client opens at start (see TUsersDataOptions::MaxEntities).
QUORVEX_EXCEPTION(EEntityLimitError, Exception);
// A position outside a list: "List index out of bounds (<zero-based index>)".
QUORVEX_EXCEPTION(EListError, Exception);

namespace StoreErrors {
std::string ListIndexOutOfBounds(long long ZeroBasedIndex);
} // namespace StoreErrors

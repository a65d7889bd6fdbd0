#pragma once
// Told by the entity registry when an entity joins or leaves, so that views
// can follow without the registry knowing them. Positions are 1-based.
#include <cstdint>

class TUsersDataListener {
public:
    virtual ~TUsersDataListener() = default;
    // The entity now at Position (always the last) was just registered; its
    // record and storage are already reachable through the registry.
    virtual void EntityAdded(int32_t Position) { (void)Position; }
    // The entity that stood at Position was just removed; the positions after
    // it have moved down by one.
    virtual void EntityRemoved(int32_t Position) { (void)Position; }
};

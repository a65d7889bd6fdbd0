#pragma once
// The fingerprint stamp: every storage file of the registry gets a fresh
// [Fingerprint] Value, the HashString digest of its text as it stands (an
// earlier stamp included, each line followed by CR LF as it is written to
// disk), and is saved at once. Written at shutdown and before each backup,
// so that a copy matches what the program would leave behind.
class KitLibraries;
class TUsersData;

// Raises on failure (the kit cannot be loaded, a file cannot be saved); the
// files stamped before the failure stay stamped. The active entity and its
// storage stay as they were.
void StampFingerprints(TUsersData& Registry);
// The same with the digest from the given kit.
void StampFingerprints(TUsersData& Registry, KitLibraries& Kit);

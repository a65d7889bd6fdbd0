#pragma once
// The fingerprint stamp: every storage file of the registry gets a fresh
// [Fingerprint] Value, the HashString digest of its text as it stands (an
// earlier stamp included, each line followed by CR LF as it is written to
// disk), and is saved at once. Written at shutdown and before each backup,
// so that a copy matches what the program would leave behind.
class KitLibraries;
class TUsersData;

// A file whose text is still what the last stamp left keeps its stamp and is
// not written again: in this process, or in an earlier run for a file loaded
// untouched that still carries the mark the stamp left on it. The changed
// files are saved together, each whole, their flushes overlapping.
//
// Raises on failure (the kit cannot be loaded, a file cannot be saved); the
// files saved stay stamped, and a file that failed is stamped anew next
// time. The active entity and its storage stay as they were.
void StampFingerprints(TUsersData& Registry, KitLibraries& Kit);

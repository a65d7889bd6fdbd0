#pragma once
// Keeps secrets from lingering: key files written out for one operation are
// overwritten, forced to disk and deleted; memory that held a password is
// cleared before it is given back.
#include "crypto/TFlushedFileStream.h"

#include <cstdint>
#include <string>

// Overwriting a file failed: "<class name>: <message>" of the cause.
QUORVEX_EXCEPTION(EWipeError, EWriteError);

// Overwrites the whole file with one byte value drawn from 0..254, forces it
// to disk and deletes it. The file is deleted also when overwriting or
// flushing fails; that failure is raised afterwards. A file that cannot be
// opened raises the open failure and is left alone.
void WipeFile(const std::string& FileName);

// Writes Value over every byte of the stream, from position 0 to its size.
void OverwriteWithByte(TFlushedFileStream& Stream, uint8_t Value);

// Sets Count bytes from Buffer to 0, in a way the optimiser cannot drop.
void ZeroBuffer(void* Buffer, int Count);

// Overwrites the stack below the caller's frame, where functions that have
// returned leave what they held in registers and locals: a password just
// converted or compared may be among them (the dynamic linker, binding a
// function on its first call, saves every vector register there). Called
// after the last use of a secret, from the frame that used it.
void ScrubStack();

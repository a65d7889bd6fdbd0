#pragma once
// Certificate identifiers and key files. A certificate's key file lives in
// its storage file as hexadecimal text and is written out only for the one
// operation that needs it (Dir + Id + ".PRI"), then wiped.
#include <cstddef>
#include <string>

class TRequestFile;

// The form of a certificate identifier: a GUID in braces, 38 characters,
// hexadecimal digits in either case. Anything else (a path, a section name
// such as "General") is no identifier.
bool IsCertificateIdentifier(const std::string& Id);

// Decodes [Id] KeyFile of Storage and writes it to the new file
// Dir + Id + ".PRI" (Dir with or without its trailing '/'). Returns that
// path when the file then exists and is not empty; otherwise the file is
// wiped and the result is empty. A decoding or writing failure wipes the
// file created so far and is raised. An Id that is not an identifier gives
// an empty path and writes nothing. A link or other entry planted under the
// name is removed first, never written through.
std::string ExtractKeyFile(const TRequestFile& Storage, const std::string& Id, const std::string& Dir);

// The bytes of a key file that the kit wrote: a regular file of at most
// MaxKeyFileSize bytes (the kit writes none larger); anything else raises
// EFOpenError ("Cannot open file <name>").
constexpr std::size_t MaxKeyFileSize = 64 * 1024;
std::string ReadKeyFile(const std::string& FileName);

// Wipes a key file when it exists; a wipe that fails is raised.
void WipeKeyFile(const std::string& FileName);

// Removes the key files (<identifier>.PRI) that a step cut short by a crash
// left in Folder, their bytes overwritten first unless another name holds
// them; links are removed, never followed. Only the data folder is given:
// no finished medium is ever written there, so every such file is a
// leftover. Returns how many were removed.
int RemoveLeftoverKeyFiles(const std::string& Folder);

// A certificate name as a plain file name: the part after the last "/",
// "\" or ":", without control characters; Fallback when nothing usable is
// left ("", "." or "..").
std::string PlainFileName(const std::string& Name, const std::string& Fallback);

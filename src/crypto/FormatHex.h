#pragma once
// Bytes <-> upper-case hexadecimal text: the form in which key files, info
// blocks, public keys, signatures and fingerprints are kept in the text data
// files. Bytes are std::string (any value, NULs included); a "stream" is any
// std::istream, read whole from its start.
#include "base/Exception.h"

#include <istream>
#include <memory>
#include <sstream>
#include <string>

QUORVEX_EXCEPTION(EFormatHexException, Exception);
QUORVEX_EXCEPTION(EConvertToHexException, EFormatHexException);
QUORVEX_EXCEPTION(EConvertToIntException, EFormatHexException);

// Every byte of Stream, from position 0, as two upper-case hex digits; the
// stream is left at position 0 again.
void StreamToHex(std::istream& Stream, std::string& Hex);
void StringToHex(const std::string& Text, std::string& Hex);
std::string StringToHex(const std::string& Text);

// A new memory stream with the decoded bytes, positioned at 0. Pairs are
// decoded left to right; a single trailing digit is ignored.
std::unique_ptr<std::stringstream> HexToStream(const std::string& Hex);
void HexToString(const std::string& Hex, std::string& Text);
std::string HexToString(const std::string& Hex);

// (v(High) * 16 + v(Low)) mod 256. v: "0"-"9" -> 0-9, "A"-"F" -> 10-15, the
// characters between "9" and "A" -> 0. Input is expected in upper case; we
// also read "a"-"f" as 10-15 and anything else as 0, so no text can fail.
unsigned char HexPairToByte(char High, char Low);

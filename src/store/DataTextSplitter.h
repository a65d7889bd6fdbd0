#pragma once
// Splits a data file's text by the format's reading rules: lines end at CR
// LF, CR or LF, and the first NUL ends the text; empty lines, ";" comments
// and lines before the first "[name]" header are dropped; every header opens
// a section, duplicates included. Names and lines are views into the text.
//
// This is most of the work of every load, so it is built twice: once for
// any processor of the platform, and once for x86-64 processors with AVX2,
// which find the line ends in half the instructions. The faster one that
// the processor runs is used.
#include <cstddef>
#include <string_view>
#include <vector>

// A section: its name and the range of its lines in the line list.
struct DataTextSection {
    std::string_view Name;
    std::size_t First = 0;
    std::size_t Count = 0;
};

namespace DataTextSplitter {

enum class Engine { Portable, Avx2 };

// Whether this processor (and this build) runs Which.
bool Available(Engine Which);
// The fastest engine available.
Engine Fastest();

struct Result {
    bool StoppedEarly = false; // a NUL ended the text before its end
    std::size_t Bytes = 0;     // the bytes of the names and lines kept
};

// Appends the lines kept to Lines and the sections to Sections (their First
// counts in Lines as it grows). An engine that is not available falls back
// to the portable one.
Result Split(std::string_view Text, std::vector<std::string_view>& Lines, std::vector<DataTextSection>& Sections,
             Engine Which = Fastest());

} // namespace DataTextSplitter

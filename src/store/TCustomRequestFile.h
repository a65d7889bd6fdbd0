#pragma once
// Base of the data-file classes: holds the file name and builds the typed
// reads and writes (integers, Booleans, dates, floats) on the two string
// primitives that a concrete file supplies. Every value is bytes, unchanged.
#include <cstdint>
#include <string>
#include <vector>

// A date-time as the program stores it: days since 30 December 1899, the
// fraction being the time of day.
using TDateTime = double;

class TCustomRequestFile {
public:
    explicit TCustomRequestFile(std::string FileName);
    virtual ~TCustomRequestFile();

    TCustomRequestFile(const TCustomRequestFile&) = delete;
    TCustomRequestFile& operator=(const TCustomRequestFile&) = delete;

    // The path given at construction; it never changes.
    const std::string& FileName() const { return FileName_; }

    // Value of the first key Ident in the first section Section (both
    // compared without regard to case), or Default when either is missing.
    virtual std::string ReadString(const std::string& Section, const std::string& Ident,
                                   const std::string& Default) const = 0;
    // Replaces the first line with key Ident, else appends one; creates the
    // section when missing. Memory only.
    virtual void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) = 0;

    // Signed 32-bit value in decimal, or hexadecimal after "$", "0x" or "0X";
    // Default when empty or not wholly convertible.
    virtual int32_t ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default) const;
    // Plain decimal text of Value.
    virtual void WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value);
    // Any non-zero integer is true; a text that is not an integer gives Default.
    virtual bool ReadBool(const std::string& Section, const std::string& Ident, bool Default) const;
    // "1" or "0".
    virtual void WriteBool(const std::string& Section, const std::string& Ident, bool Value);

    // Date and time as "dd/mm/yyyy", "dd/mm/yyyy hh:mm:ss" and "hh:mm:ss";
    // floats in C notation. An empty or unconvertible text gives Default.
    virtual TDateTime ReadDate(const std::string& Section, const std::string& Ident, TDateTime Default) const;
    virtual TDateTime ReadDateTime(const std::string& Section, const std::string& Ident, TDateTime Default) const;
    virtual double ReadFloat(const std::string& Section, const std::string& Ident, double Default) const;
    virtual TDateTime ReadTime(const std::string& Section, const std::string& Ident, TDateTime Default) const;
    virtual void WriteDate(const std::string& Section, const std::string& Ident, TDateTime Value);
    virtual void WriteDateTime(const std::string& Section, const std::string& Ident, TDateTime Value);
    virtual void WriteFloat(const std::string& Section, const std::string& Ident, double Value);
    virtual void WriteTime(const std::string& Section, const std::string& Ident, TDateTime Value);

    // Names: cleared, then the key of every line of the first matching
    // section ("" for a line without "=").
    virtual void ReadSection(const std::string& Section, std::vector<std::string>& Names) const = 0;
    // Names: replaced by every section name in order, duplicates included.
    virtual void ReadSections(std::vector<std::string>& Names) const = 0;
    // Lines: replaced by the raw lines of the first matching section.
    virtual void ReadSectionValues(const std::string& Section, std::vector<std::string>& Lines) const = 0;
    // Removes the first matching section with its lines.
    virtual void EraseSection(const std::string& Section) = 0;
    // Removes the first line with key Ident of the first matching section.
    virtual void DeleteKey(const std::string& Section, const std::string& Ident) = 0;
    // Writes the whole image to FileName.
    virtual void UpdateFile() = 0;

    // Conversions used by the typed operations, public for their tests.
    // StrToIntDef: the integer rule of ReadInteger applied to a text.
    static int32_t StrToIntDef(const std::string& Text, int32_t Default);
    static std::string FormatDate(TDateTime Value);
    static std::string FormatDateTime(TDateTime Value);
    static std::string FormatTime(TDateTime Value);
    static std::string FormatFloat(double Value);
    // Each returns false when Text does not convert completely.
    static bool TryParseDate(const std::string& Text, TDateTime& Value);
    static bool TryParseDateTime(const std::string& Text, TDateTime& Value);
    static bool TryParseTime(const std::string& Text, TDateTime& Value);
    static bool TryParseFloat(const std::string& Text, double& Value);

private:
    std::string FileName_;
};

#pragma once
// What the request form's filtered fields make of the text typed into them,
// and when a responsible person may join the list. The key filters decide
// what the signed info block may hold: plain capitals, digits and a little
// punctuation. They never change a text silently: each typing says what it
// changed, dropped or could not fit, and the field's note shows it.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class TFieldFilter {
    Numeric, // "0".."9"
    CnpjId,  // "0".."9" and "A".."Z" (lower case becomes capitals)
    Letters, // letters as capitals, digits and the space
    Address, // as Letters, plus every character from space to "@"
};

// One character through the filter: the character the field takes (a
// capital for a lower-case or accented letter), or 0 when it is refused.
// Backspace (8) and delete (127) pass, as the editing keys they are.
char16_t FilterFieldKey(TFieldFilter Filter, char16_t Key);

// What a piece of typed text becomes at the cursor of a field.
struct TFieldInput {
    std::u16string Inserted;                            // what the field takes
    std::vector<std::pair<char16_t, char16_t>> Changed; // typed, taken (accents folded; not mere capitals)
    std::u16string Dropped;                             // refused by the filter
    std::size_t Cut = 0;                                // taken, but beyond the length limit
};

// Typed is inserted between Before and After (a selection it replaces
// already taken out). In the fields that hold words a space is not taken
// where it would lead the text or stand beside another space, so that a
// refused character ("&" between two words) never leaves two spaces behind.
// MaxLength 0: no limit.
TFieldInput FilterFieldInput(TFieldFilter Filter, std::u16string_view Before, std::u16string_view Typed,
                             std::u16string_view After, std::size_t MaxLength);

// The text with no leading or trailing space and no run of spaces: what a
// field that holds words keeps when the form is accepted.
std::u16string TidySpaces(std::u16string_view Text);

// The note shown beside a filtered field: what the filter changed and
// dropped since the field was last empty, and the length against the limit
// ("26 de máx. 31"). Texts in UTF-8.
class TFieldNote {
public:
    explicit TFieldNote(std::size_t MaxLength) : MaxLength_(MaxLength) {}

    void Record(const TFieldInput& Input);
    // The field was emptied or filled from a record: nothing to tell.
    void Clear();
    bool Empty() const { return Changed_.empty() && Dropped_.empty() && !Full_; }
    std::string Text(std::size_t Length) const;

private:
    std::size_t MaxLength_;
    std::vector<std::pair<char16_t, char16_t>> Changed_;
    std::u16string Dropped_;
    bool Full_ = false;
};

// Why a responsible person cannot join the list.
enum class TRespProblem { None, NoName, NoCpf, BadCpf, Listed };

// Name as the field holds it, Cpf as typed (completed with leading zeros
// when shorter than 11 digits), ListedCpfs those already in the list. A
// person joins only with a name and a CPF whose check digits hold.
TRespProblem CheckResponsible(const std::string& Name, const std::string& Cpf,
                              const std::vector<std::string>& ListedCpfs);
// The message for a problem (UTF-8); Cpf for the one about its digits.
std::string RespProblemText(TRespProblem Problem, const std::string& Cpf);

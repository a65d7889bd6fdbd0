#pragma once
// Check-digit rules of the Brazilian identifiers the program handles: CNPJ
// (companies), CEI (bodies registered with the pension authority) and CPF
// (persons). All are pure functions of their text.
#include <cstddef>
#include <string>
#include <vector>

// Exactly Length characters, all "0".."9", and not one digit repeated.
bool IsCandidateNumber(const std::string& Text, std::size_t Length);
// Text preceded by "0" up to Width characters; longer texts unchanged.
std::string PadLeftZeros(const std::string& Text, std::size_t Width);

// Modulus-11 check digit with weights 2..9 from the right, then 2 again.
int CheckDigitMod11Cyclic(const std::string& Digits);
// Modulus-11 check digit with weights 2, 3, ... growing from the right.
int CheckDigitMod11(const std::string& Digits);

// 14 digits, not all equal, two cyclic modulus-11 check digits.
bool IsValidCNPJ(const std::string& Text);
// 11 digits, not all equal, two growing modulus-11 check digits.
bool IsValidCPF(const std::string& Text);
// 12 digits, the last one the weighted check digit of the first eleven.
bool IsValidCEI(const std::string& Text);

// The validators the request form picks from by identifier type: position k
// is the validator of the type at position k of the form's type list.
class TIdRules {
public:
    using TValidator = bool (*)(const std::string&);

    void Add(TValidator Rule) { Rules_.push_back(Rule); }
    int Count() const { return static_cast<int>(Rules_.size()); }
    // The validator at zero-based Index; EListError outside the list.
    TValidator Rules(int Index) const;
    TValidator operator[](int Index) const { return Rules(Index); }
    void Clear() { Rules_.clear(); }

    // The list the request form uses: CNPJ, CEI, CPF.
    static TIdRules Standard();

private:
    std::vector<TValidator> Rules_;
};

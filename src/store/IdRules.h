#pragma once
// Check-digit rules of the Brazilian identifiers the program handles: CNPJ
// (companies), CEI (bodies registered with the pension authority) and CPF
// (persons). All are pure functions of their text. CNPJs issued since July
// 2026 carry capital letters in their first twelve positions.
#include <cstddef>
#include <string>
#include <vector>

// Exactly Length characters, all "0".."9", and not one digit repeated.
bool IsCandidateNumber(const std::string& Text, std::size_t Length);
// Text preceded by "0" up to Width characters; longer texts unchanged, and so
// is a text holding a letter: a zero in front of a short alphanumeric CNPJ
// would only make a wrong number look whole.
std::string PadLeftZeros(const std::string& Text, std::size_t Width);

// Modulus-11 check digit with weights 2..9 from the right, then 2 again. Each
// character counts as its code minus that of "0", so digits keep their values
// and the letters of an alphanumeric CNPJ count from 17 ("A") up.
int CheckDigitMod11Cyclic(const std::string& Digits);
// Modulus-11 check digit with weights 2, 3, ... growing from the right.
int CheckDigitMod11(const std::string& Digits);

// The shape of a CNPJ: 14 characters, the first 12 "0".."9" or "A".."Z",
// the last two "0".."9". Check digits are not looked at.
bool IsCNPJForm(const std::string& Text);
// A CNPJ of that shape, not one character repeated, with two cyclic
// modulus-11 check digits. Digit-only CNPJs are a special case of the rule.
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

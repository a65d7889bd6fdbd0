#pragma once
// A certificate request as the client writes it, read and checked by the
// authority: the entity's data and, per position, a public key and an info
// block, signed with the entity's master key over the text that stands
// before the line "[Signatures]".
//
// Only what the signature covers is read: the data come from the signed text
// alone, so nothing placed after the signature can change what is certified.
#include <cstddef>
#include <string>
#include <vector>

class SignedRequest {
public:
    struct Position {
        std::string KeyHex;    // KeyNN as written (the response repeats it)
        std::string InfoHex;   // InfoNN as written
        std::string PublicKey; // 140 bytes, DER RSAPublicKey (1024 bits, e = 65537)
        std::string Info;      // 100 bytes
    };

    // Largest request file read (a full request of 100 keys is about 50 KiB).
    static constexpr std::size_t MaxFileSize = 1024 * 1024;

    // Parses and checks the layout. Raises ERequestRefused naming the first
    // fault: not a request (Dir), missing or malformed entity fields, a bad
    // number of keys, a key or info block that is missing, not hexadecimal,
    // of the wrong size, not an RSA-1024 key with exponent 65537, repeated,
    // or no signature. The signature itself is checked by SignedBy.
    explicit SignedRequest(const std::string& FileText);

    // Whether the signature verifies under PublicKey (140-byte DER): RSA
    // PKCS#1 v1.5 over the first 16 bytes of SHA-256 of the signed text, the
    // digest bytes themselves as payload (how the key library signs).
    bool SignedBy(const std::string& PublicKey) const;

    const std::string& TipoInscricao() const { return TipoInscricao_; }
    const std::string& Inscricao() const { return Inscricao_; }
    const std::string& Profile() const { return Profile_; }
    const std::string& Razao() const { return Razao_; }
    const std::vector<Position>& Positions() const { return Positions_; }

private:
    std::string SignedText_;
    std::string Signature_; // 128 bytes
    std::string TipoInscricao_, Inscricao_, Profile_, Razao_;
    std::vector<Position> Positions_;
};

// Strict hexadecimal: an even number of digits 0-9, A-F (either case);
// false for anything else.
bool DecodeHexStrict(const std::string& Hex, std::string& Bytes);

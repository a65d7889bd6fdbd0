#include "SignedRequest.h"

#include "AuthorityError.h"
#include "base/LetterCase.h"
#include "store/IdRules.h"
#include "store/TRequestFile.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <set>

namespace {

constexpr std::size_t PublicKeySize = 140;
constexpr std::size_t InfoSize = 100;
constexpr std::size_t SignatureSize = 128;
constexpr std::size_t DigestSize = 16;
constexpr int MaxKeys = 100;

struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct BnFree {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

std::string TwoDigits(int N)
{
    return std::string(1, static_cast<char>('0' + N / 10)) + static_cast<char>('0' + N % 10);
}

bool AllDigits(const std::string& Text)
{
    return std::all_of(Text.begin(), Text.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

// The key as the client's key library makes it, or null.
PkeyPtr ParsePublicKey(const std::string& Der)
{
    const auto* p = reinterpret_cast<const unsigned char*>(Der.data());
    PkeyPtr key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(Der.size())));
    if (!key || p != reinterpret_cast<const unsigned char*>(Der.data()) + Der.size()
        || EVP_PKEY_get_bits(key.get()) != 1024)
        return nullptr;
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_E, &raw) != 1)
        return nullptr;
    std::unique_ptr<BIGNUM, BnFree> e(raw);
    if (!BN_is_word(e.get(), 65537))
        return nullptr;
    return key;
}

// Where the line "[Signatures]" (any case) begins, by the reading rules of
// the data files (lines end at CR LF, CR or LF); npos when there is none.
std::size_t SignatureHeader(const std::string& Text)
{
    static const std::string header = "[signatures]";
    std::size_t start = 0;
    while (start < Text.size()) {
        std::size_t end = Text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = Text.size();
        if (LetterCase::SameText(header, std::string_view(Text).substr(start, end - start)))
            return start;
        start = end;
        if (start < Text.size() && Text[start] == '\r')
            ++start;
        if (start < Text.size() && Text[start] == '\n')
            ++start;
    }
    return std::string::npos;
}

} // namespace

bool DecodeHexStrict(const std::string& Hex, std::string& Bytes)
{
    if (Hex.size() % 2 != 0)
        return false;
    auto value = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    std::string out;
    out.reserve(Hex.size() / 2);
    for (std::size_t i = 0; i < Hex.size(); i += 2) {
        const int high = value(Hex[i]);
        const int low = value(Hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
    }
    Bytes = std::move(out);
    return true;
}

SignedRequest::SignedRequest(const std::string& FileText)
{
    // The data files stop at a NUL; the signature covers raw bytes. A NUL
    // would let the two disagree about what was signed.
    if (FileText.find('\0') != std::string::npos)
        throw ERequestRefused("not a request: the file holds a NUL byte");
    const std::size_t header = SignatureHeader(FileText);
    if (header == std::string::npos)
        throw ERequestRefused("not a signed request: there is no [Signatures] section");
    SignedText_ = FileText.substr(0, header);

    TRequestFile data("");
    data.SetText(SignedText_);
    if (data.ReadString("General", "Dir", "") != "Request")
        throw ERequestRefused("not a request: [General] Dir is not \"Request\"");

    TipoInscricao_ = data.ReadString("General", "Tipo_Inscricao", "");
    Inscricao_ = data.ReadString("General", "Inscricao", "");
    Profile_ = data.ReadString("General", "Profile", "");
    Razao_ = data.ReadString("General", "Razao", "");
    if (TipoInscricao_ != "01" && TipoInscricao_ != "02")
        throw ERequestRefused("malformed request: Tipo_Inscricao is neither 01 (CNPJ) nor 02 (CEI)");
    // A CNPJ may carry capital letters in its body (those issued since July
    // 2026); a CEI is digits. Either way the text names a file under keys/,
    // so nothing else may pass.
    const bool inscricaoForm =
        TipoInscricao_ == "01" ? IsCNPJForm(Inscricao_) : Inscricao_.size() == 14 && AllDigits(Inscricao_);
    if (!inscricaoForm)
        throw ERequestRefused("malformed request: Inscricao is not a 14-character CNPJ or a 14-digit CEI");
    if (Profile_.size() != 2 || !AllDigits(Profile_))
        throw ERequestRefused("malformed request: Profile is not 2 digits");
    if (Razao_.empty())
        throw ERequestRefused("malformed request: Razao is empty");

    const std::string countText = data.ReadString("General", "Num_Keys", "");
    const int count =
        countText.size() >= 1 && countText.size() <= 3 && AllDigits(countText) ? std::stoi(countText) : -1;
    if (count < 1 || count > MaxKeys)
        throw ERequestRefused("malformed request: Num_Keys is not a number from 1 to 100");

    std::vector<std::string> names;
    data.ReadSection("Keys", names);
    if (names.size() != static_cast<std::size_t>(count) * 2)
        throw ERequestRefused("malformed request: [Keys] does not hold exactly Num_Keys keys and info blocks");

    std::set<std::string> seen;
    for (int i = 0; i < count; ++i) {
        const std::string nn = TwoDigits(i);
        Position p;
        p.KeyHex = data.ReadString("Keys", "Key" + nn, "");
        p.InfoHex = data.ReadString("Keys", "Info" + nn, "");
        if (!DecodeHexStrict(p.KeyHex, p.PublicKey) || p.PublicKey.size() != PublicKeySize
            || !ParsePublicKey(p.PublicKey))
            throw ERequestRefused("malformed request: Key" + nn
                                  + " is missing or not an RSA-1024 public key with exponent 65537");
        if (!DecodeHexStrict(p.InfoHex, p.Info) || p.Info.size() != InfoSize)
            throw ERequestRefused("malformed request: Info" + nn + " is missing or not 100 bytes");
        if (!seen.insert(p.PublicKey).second)
            throw ERequestRefused("malformed request: Key" + nn + " repeats an earlier key");
        Positions_.push_back(std::move(p));
    }

    // The signature: the section that the header opens, and nothing else
    // after it.
    TRequestFile tail("");
    tail.SetText(std::string_view(FileText).substr(header));
    if (tail.SectionCount() != 1)
        throw ERequestRefused("malformed request: sections follow [Signatures]");
    if (!DecodeHexStrict(tail.ReadString("Signatures", "User", ""), Signature_) || Signature_.size() != SignatureSize)
        throw ERequestRefused("malformed request: [Signatures] User is not a 128-byte signature");
}

bool SignedRequest::SignedBy(const std::string& PublicKey) const
{
    PkeyPtr key = ParsePublicKey(PublicKey);
    if (!key)
        return false;
    unsigned char full[32];
    unsigned int length = 0;
    if (EVP_Digest(SignedText_.data(), SignedText_.size(), full, &length, EVP_sha256(), nullptr) != 1)
        return false;
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    return ctx && EVP_PKEY_verify_init(ctx.get()) == 1
           && EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1
           && EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char*>(Signature_.data()), Signature_.size(),
                              full, DigestSize)
                  == 1;
}

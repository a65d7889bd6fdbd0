#include "CertificationAuthority.h"

#include "AuthorityError.h"
#include "base/BoundedFileReader.h"
#include "base/SafeReplace.h"
#include "kit/CertificateLayout.h"
#include "store/TRequestFile.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t MaxSerial = 99'999'999;
constexpr const char* ResponseMarker = "xeVmorPad";

std::string WithSlash(std::string Folder)
{
    if (Folder.empty())
        Folder = ".";
    if (Folder.back() != '/')
        Folder += '/';
    return Folder;
}

std::string TwoDigits(std::size_t N)
{
    // Positions run from 00 to 99.
    return std::string(1, static_cast<char>('0' + N / 10 % 10)) + static_cast<char>('0' + N % 10);
}

std::string Hex(const std::string& Bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Bytes.size() * 2);
    for (const char byte : Bytes) {
        const auto c = static_cast<unsigned char>(byte);
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

void PutLittleEndian32(std::string& Out, std::size_t Offset, std::uint32_t Value)
{
    for (int i = 0; i < 4; ++i)
        Out[Offset + static_cast<std::size_t>(i)] = static_cast<char>((Value >> (8 * i)) & 0xFF);
}

void Save(const std::string& Path, const std::string& Text, mode_t Mode)
{
    SafeReplace::Options options;
    options.NewFileMode = Mode;
    if (int e = SafeReplace::ReplaceFile(Path, Text.data(), Text.size(), options))
        throw EAuthorityError("cannot write " + Path + ": " + std::strerror(e));
}

AuthorityKey OpenFolder(const std::string& Folder, int& LockFd, bool& Created)
{
    std::error_code ec;
    fs::create_directories(Folder, ec);
    if (!fs::is_directory(Folder, ec))
        throw EAuthorityError("cannot use the authority's folder " + Folder);
    ::chmod(Folder.c_str(), 0700);
    // One answer at a time: serial numbers must never be issued twice.
    LockFd = ::open((Folder + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (LockFd < 0 || ::flock(LockFd, LOCK_EX) != 0)
        throw EAuthorityError("cannot lock the authority's folder " + Folder + ": " + std::strerror(errno));
    return AuthorityKey::LoadOrCreate(Folder, Created);
}

} // namespace

std::string ReadInputFile(const std::string& Path, std::size_t MaxSize)
{
    // Non-blocking open: a FIFO or a device must not hang the tool.
    std::string text;
    const BoundedFileReader::Result read = BoundedFileReader::Read(Path, MaxSize, text);
    switch (read.Outcome) {
    case BoundedFileReader::Status::Read: return text;
    case BoundedFileReader::Status::Missing:
    case BoundedFileReader::Status::OpenFailed:
        throw EAuthorityError("cannot open " + Path + ": " + std::strerror(read.Error));
    case BoundedFileReader::Status::ReadFailed:
        throw EAuthorityError("cannot read " + Path + ": " + std::strerror(read.Error));
    default: throw EAuthorityError(Path + " is not a regular file of at most " + std::to_string(MaxSize) + " bytes");
    }
}

CertificationAuthority::CertificationAuthority(const std::string& Folder, bool& Created)
    : Folder_(WithSlash(Folder)), Key_(OpenFolder(Folder_, LockFd_, Created))
{
}

CertificationAuthority::~CertificationAuthority()
{
    if (LockFd_ >= 0)
        ::close(LockFd_);
}

std::vector<std::string> CertificationAuthority::KnownKeys(const std::string& Inscricao) const
{
    std::vector<std::string> keys;
    std::ifstream in(Folder_ + "keys/" + Inscricao + ".txt", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::string key;
        if (DecodeHexStrict(line, key) && !key.empty())
            keys.push_back(std::move(key));
    }
    return keys;
}

void CertificationAuthority::RememberKeys(const std::string& Inscricao, const std::vector<std::string>& Keys)
{
    std::vector<std::string> known = KnownKeys(Inscricao);
    std::string text;
    for (const std::string& key : known)
        text += Hex(key) + "\n";
    for (const std::string& key : Keys)
        if (std::find(known.begin(), known.end(), key) == known.end()) {
            text += Hex(key) + "\n";
            known.push_back(key);
        }
    std::error_code ec;
    fs::create_directories(Folder_ + "keys", ec);
    // Inscricao was checked to be 14 digits or capitals: the name stays
    // inside keys/.
    Save(Folder_ + "keys/" + Inscricao + ".txt", text, 0600);
}

std::uint32_t CertificationAuthority::LastSerial() const
{
    std::ifstream in(Folder_ + "SERIAL", std::ios::binary);
    if (!in)
        return 0;
    std::string text;
    std::getline(in, text);
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value > MaxSerial)
        throw EAuthorityError("the authority's serial number file " + Folder_ + "SERIAL is damaged");
    return static_cast<std::uint32_t>(value);
}

void CertificationAuthority::SaveSerial(std::uint32_t Serial)
{
    Save(Folder_ + "SERIAL", std::to_string(Serial) + "\n", 0600);
}

std::string CertificationAuthority::MakeIdentifier(const SignedRequest& Request, std::uint32_t Serial)
{
    char serial[16];
    std::snprintf(serial, sizeof serial, "%08u", static_cast<unsigned>(Serial));
    return Request.TipoInscricao() + Request.Inscricao() + serial + Request.Profile();
}

std::string CertificationAuthority::MakeCertificate(const std::string& PublicKey, const std::string& Identifier,
                                                    std::uint32_t ValidFrom, std::uint32_t ValidUntil) const
{
    using namespace certificate;
    if (Identifier.size() != kIdentifierSize)
        throw EAuthorityError("an identifier must have 26 characters");
    std::string c(kSignedSize, '\0');
    c.replace(kOffsetMagic, sizeof kMagic, reinterpret_cast<const char*>(kMagic), sizeof kMagic);
    c[kOffsetVersion] = static_cast<char>(kVersion);
    c[kOffsetReserved] = 0;
    unsigned char digest[32];
    unsigned int length = 0;
    if (EVP_Digest(PublicKey.data(), PublicKey.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        throw EAuthorityError("cannot hash a public key");
    c.replace(kOffsetKeyDigest, kKeyDigestSize, reinterpret_cast<const char*>(digest), kKeyDigestSize);
    c.replace(kOffsetIdentifier, kIdentifierSize, Identifier);
    PutLittleEndian32(c, kOffsetValidFrom, ValidFrom);
    PutLittleEndian32(c, kOffsetValidUntil, ValidUntil);
    c += Key_.Sign(c);
    return c;
}

std::string CertificationAuthority::ResponseText(const SignedRequest& Request, const std::vector<Issued>& Certificates)
{
    TRequestFile response("");
    response.WriteString("General", "Dir", ResponseMarker);
    response.WriteString("General", "Inscricao", Request.Inscricao());
    response.WriteString("General", "Num_Keys", std::to_string(Certificates.size()));
    for (std::size_t i = 0; i < Certificates.size(); ++i) {
        response.WriteString("Certificates", "NewId" + TwoDigits(i), Certificates[i].Identifier);
        response.WriteString("Certificates", "Crt" + TwoDigits(i), Hex(Certificates[i].Certificate));
    }
    // The keys and info blocks go back exactly as they came: the client
    // compares them, as text, with what it holds.
    for (std::size_t i = 0; i < Certificates.size(); ++i) {
        response.WriteString("Keys", "Key" + TwoDigits(i), Request.Positions()[i].KeyHex);
        response.WriteString("Keys", "Info" + TwoDigits(i), Request.Positions()[i].InfoHex);
    }
    return response.Text();
}

std::vector<CertificationAuthority::Issued> CertificationAuthority::Answer(const std::string& RequestPath,
                                                                           const std::string& ResponsePath,
                                                                           std::time_t Now, unsigned ValidDays)
{
    const SignedRequest request(ReadInputFile(RequestPath, SignedRequest::MaxFileSize));

    // Who signed: the request's own first key (an entity whose master is not
    // certified yet sends it at position 00), else a key the authority
    // already knows for this inscription.
    const std::string& first = request.Positions().front().PublicKey;
    std::string signer;
    if (request.SignedBy(first)) {
        signer = first;
    } else {
        for (const std::string& key : KnownKeys(request.Inscricao()))
            if (request.SignedBy(key)) {
                signer = key;
                break;
            }
    }
    if (signer.empty())
        throw ERequestRefused("the request's signature does not verify: it was signed neither by its first key "
                              "nor by a key this authority knows for inscription "
                              + request.Inscricao());

    if (Now < 0 || static_cast<std::uint64_t>(Now) + ValidDays * 86400ull > 0xFFFFFFFFull)
        throw EAuthorityError("the validity period does not fit the certificate's dates");
    const auto from = static_cast<std::uint32_t>(Now);
    const auto until = static_cast<std::uint32_t>(static_cast<std::uint64_t>(Now) + ValidDays * 86400ull);

    const std::uint32_t last = LastSerial();
    const std::size_t count = request.Positions().size();
    if (last + count > MaxSerial)
        throw EAuthorityError("the authority has run out of serial numbers");
    std::vector<Issued> issued;
    std::vector<std::string> certified{signer};
    for (std::size_t i = 0; i < count; ++i) {
        const SignedRequest::Position& p = request.Positions()[i];
        Issued one;
        one.Identifier = MakeIdentifier(request, last + 1 + static_cast<std::uint32_t>(i));
        one.Certificate = MakeCertificate(p.PublicKey, one.Identifier, from, until);
        issued.push_back(std::move(one));
        certified.push_back(p.PublicKey);
    }
    // The serials are taken before the response exists, so that a failure
    // later never hands out the same serial twice.
    SaveSerial(last + static_cast<std::uint32_t>(count));
    RememberKeys(request.Inscricao(), certified);
    Save(ResponsePath, ResponseText(request, issued), 0644);
    return issued;
}

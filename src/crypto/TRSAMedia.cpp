#include "crypto/TRSAMedia.h"

#include "crypto/FormatHex.h"
#include "crypto/TLockedBuffer.h"
#include "crypto/Wipe.h"
#include "kit/HlKit.h"
#include "base/Texts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>
#include <sys/random.h>

namespace {

// "<text>(<code>)": the kit's result right after the message's full stop.
std::string WithCode(const char* text, int32_t code)
{
    return std::string(text) + "(" + std::to_string(code) + ")";
}

// "<text> (<code>)": the form PutCertificate uses.
std::string WithSpacedCode(const char* text, int32_t code)
{
    return std::string(text) + " (" + std::to_string(code) + ")";
}

// "<class name>: <message>" of a failure met on the way.
std::string FailureText(const std::exception& e)
{
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return "EOutOfMemory: Out of memory";
    return ClassAndMessage(e, ": ");
}

// Guard step 1: both kit libraries must have loaded.
void RequireKit(const KitLibraries& kit)
{
    if (!kit.Loaded())
        throw EDLLLoadFail(Texts::DllLoadFail);
}

// Guard step 2: every function an operation will call must be present. The
// lookups all happen before the first call, so a half-present kit never
// leaves an operation done half-way.
template <typename Function>
Function Require(const KitLibraries& kit, const char* name)
{
    void* function = kit.Function(name);
    if (!function)
        throw EFunctionLoadFail(Texts::FunctionLoadFail);
    return reinterpret_cast<Function>(function);
}

// The notice is kept in the key file in the program's single-byte character
// set (Windows-1252); the texts table holds it in UTF-8.
std::string ToSingleByte(const char* utf8)
{
    std::string out;
    for (const auto* p = reinterpret_cast<const unsigned char*>(utf8); *p; ++p) {
        if ((p[0] & 0xE0) == 0xC0 && (p[1] & 0xC0) == 0x80) {
            const unsigned code = ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
            out += static_cast<char>(code <= 0xFF ? code : '?');
            ++p;
        } else {
            out += static_cast<char>(*p);
        }
    }
    return out;
}

// Copies text up to its first NUL into a field of the info block, cut to the
// field's size so that an over-long value can never spill into its neighbour.
void PutField(uint8_t* field, std::size_t fieldSize, const std::string& text)
{
    const std::size_t length = std::min({std::strlen(text.c_str()), text.size(), fieldSize});
    std::memcpy(field, text.data(), length);
}

// Reads a string in place, so that hashing or signing a large text does not
// first copy it into a stream of its own.
class StringReader : public std::streambuf {
public:
    explicit StringReader(const std::string& text)
    {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override
    {
        if (!(which & std::ios_base::in))
            return pos_type(off_type(-1));
        off_type base = 0;
        if (direction == std::ios_base::cur)
            base = gptr() - eback();
        else if (direction == std::ios_base::end)
            base = egptr() - eback();
        const off_type target = base + offset;
        if (target < 0 || target > egptr() - eback())
            return pos_type(off_type(-1));
        setg(eback(), eback() + target, egptr());
        return pos_type(target);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override
    {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }
};

} // namespace

std::string NewGuidText()
{
    uint8_t bytes[16];
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got > 0)
            filled += static_cast<std::size_t>(got);
        else if (errno != EINTR)
            throw Exception("Cannot create a GUID");
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    const std::string hex = StringToHex(std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
    std::string guid;
    guid.reserve(38);
    guid += '{';
    guid.append(hex, 0, 8);
    guid += '-';
    guid.append(hex, 8, 4);
    guid += '-';
    guid.append(hex, 12, 4);
    guid += '-';
    guid.append(hex, 16, 4);
    guid += '-';
    guid.append(hex, 20, 12);
    guid += '}';
    return guid;
}

std::string TRSAMedia::DefaultFileName(const std::string& Folder)
{
    std::string folder = Folder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + NewGuidText() + ".PRI";
}

TRSAMedia::TRSAMedia(KitLibraries& Kit, const std::string& FileName)
    : FKit(Kit), FFileName(FileName.empty() ? DefaultFileName(Kit.Folder()) : FileName)
{
    ZeroBuffer(FSeed.data(), SeedSize);
}

TRSAMedia::~TRSAMedia()
{
    ZeroBuffer(FSeed.data(), SeedSize);
    if (IsOpen()) {
        try {
            Close();
        } catch (...) {
        }
    }
}

void TRSAMedia::Open()
{
    RequireKit(FKit);
    auto on = Require<hl_on_t>(FKit, "hl_on");
    // The handle is taken only from a successful call, so a failed open can
    // never leave the medium looking open.
    int32_t handle = -1;
    const int32_t r = on(&handle, HL_MODE_KEY_FILE, FFileName.c_str());
    if (r != 0)
        throw ERSAMediaOn(WithCode(Texts::MediaOn, r));
    FHandle = handle;
}

void TRSAMedia::Close()
{
    RequireKit(FKit);
    auto off = Require<hl_off_t>(FKit, "hl_off");
    if (!IsOpen())
        throw ERSAMediaNotOpened(Texts::MediaNotOpened);
    if (off(FHandle) != 0)
        throw ERSAMediaOff(Texts::MediaOff);
    FHandle = -1;
}

void TRSAMedia::GatherSeed(std::string& Seed, const SeedOwner* Owner)
{
    ZeroBuffer(FSeed.data(), SeedSize);
    RequireKit(FKit);
    auto getMouseSeed = Require<GetMouseSeed_t>(FKit, "GetMouseSeed");
    const int32_t r = getMouseSeed(0, Owner ? Owner->KitWindow() : nullptr, FSeed.data());
    if (r < 1)
        throw ERSARandomSeed(WithCode(Texts::RandomSeed, r));
    Seed.assign(reinterpret_cast<const char*>(FSeed.data()), SeedSize);
}

void TRSAMedia::Generate(const std::string& Password)
{
    RequireKit(FKit);
    auto format = Require<hl_format_t>(FKit, "hl_format");
    auto generate = Require<hl_generate_t>(FKit, "hl_generate");

    const std::string identity = FUserData.KeyIdentity();
    if (identity.empty() || FUserData.Razao.empty())
        throw ERSAUser(Texts::MediaUser);

    Open();
    int32_t r = format(FHandle);
    if (r != 0) {
        Close();
        throw ERSAMediaFormat(WithCode(Texts::MediaFormat, r));
    }

    uint8_t info[InfoSize] = {};
    PutField(info, 32, identity);
    // The company name stays NUL-terminated inside its 40 bytes.
    PutField(info + 32, 39, FUserData.Razao);
    info[72] = 128; // 32-bit little-endian 128
    const std::string notice = ToSingleByte(Texts::KeyNotice);
    uint8_t outArea[HL_GENERATE_OUT_SIZE] = {};
    r = generate(FHandle, info, notice.c_str(), static_cast<int32_t>(notice.size()), Password.c_str(), Password.c_str(),
                 FSeed.data(), outArea);
    ZeroBuffer(outArea, sizeof outArea);
    Close();
    if (r != 0)
        throw ERSAMediaCreation(WithCode(Texts::MediaCreation, r));
}

void TRSAMedia::GenerateFor(const std::string& Password, const TUserData& Source)
{
    FUserData.Assign(Source);
    Generate(Password);
}

void TRSAMedia::GetPublicKey(std::string& Key)
{
    RequireKit(FKit);
    auto getPublicKey = Require<hl_get_public_key_t>(FKit, "hl_get_public_key");
    if (!IsOpen())
        throw ERSAMediaNotOpened(Texts::MediaNotOpened);
    std::string key(PublicKeySize, '\0');
    const int32_t r = getPublicKey(FHandle, key.data());
    if (r != 0)
        throw ERSAMediaAccess(WithCode(Texts::MediaAccess, r));
    Key = std::move(key);
}

void TRSAMedia::GetUserInfo(std::string& Info)
{
    RequireKit(FKit);
    auto getUserData = Require<hl_get_user_data_t>(FKit, "hl_get_user_data");
    if (!IsOpen())
        throw ERSAMediaNotOpened(Texts::MediaNotOpened);
    std::string info(InfoSize, '\0');
    const int32_t r = getUserData(FHandle, info.data());
    if (r != 0)
        throw ERSAMediaAccess(WithCode(Texts::MediaAccess, r));
    Info = std::move(info);
}

bool TRSAMedia::ChangePassword(const std::string& OldPassword, const std::string& NewPassword)
{
    RequireKit(FKit);
    auto changePassword = Require<hl_change_password_t>(FKit, "hl_change_password");
    if (!IsOpen())
        throw ERSAMediaNotOpened(Texts::MediaNotOpened);
    const int32_t r = changePassword(FHandle, OldPassword.c_str(), NewPassword.c_str());
    if (r == 0)
        return true;
    if (r == WrongPassword)
        return false;
    throw ERSAChangeKey(WithCode(Texts::ChangeKey, r));
}

void TRSAMedia::PutCertificate(const std::string& Password, const std::string& Identifier,
                               const std::string& CertificateHex)
{
    RequireKit(FKit);
    auto getUserData = Require<hl_get_user_data_t>(FKit, "hl_get_user_data");
    auto updateUserData = Require<hl_update_user_data_t>(FKit, "hl_update_user_data");
    auto putCertificate = Require<hl_put_certificate_t>(FKit, "hl_put_certificate");

    const std::string certificate = HexToString(CertificateHex);
    if (Identifier.size() != IdentifierLength || certificate.size() != CertificateSize)
        throw ERSAInvalidArgument(Texts::PutCertificateInvalidArgument);

    Open();
    uint8_t info[InfoSize] = {};
    int32_t r = getUserData(FHandle, info);
    if (r != 0) {
        Close();
        throw ERSAUpdateId(WithSpacedCode(Texts::ReadIdentifier, r));
    }
    std::memcpy(info, Identifier.data(), IdentifierLength);
    r = updateUserData(FHandle, info, Password.c_str());
    if (r == WrongPassword)
        throw Exception(WithSpacedCode(Texts::WrongPasswordOnReceive, r));
    if (r != 0) {
        Close();
        throw ERSAUpdateId(WithSpacedCode(Texts::UpdateIdentifier, r));
    }
    r = putCertificate(FHandle, certificate.data());
    Close();
    if (r == HL_E_CERTIFICATE_KEY)
        throw ERSAPutCertificate(WithSpacedCode(Texts::CertificateForAnotherKey, r));
    if (r != 0)
        throw ERSAPutCertificate(WithSpacedCode(Texts::PutCertificateError, r));
}

void TRSAMedia::HashStream(KitLibraries& Kit, int32_t Handle, std::istream& Source, uint8_t (&Digest)[DigestSize])
{
    auto details = Require<hl_get_hash_alg_details_t>(Kit, "hl_get_hash_alg_details");
    auto initHash = Require<hl_init_hash_t>(Kit, "hl_init_hash");
    auto contHash = Require<hl_cont_hash_t>(Kit, "hl_cont_hash");
    auto endHash = Require<hl_end_hash_t>(Kit, "hl_end_hash");

    // Every result counts: a digest the kit did not finish would come back
    // as zeros, and fingerprints of zeros would agree with each other.
    HlHashAlgDetails record{};
    record.size = HL_DETAILS_SIZE;
    if (const int32_t r = details(Handle, HL_HASH_ALG_SHA256_16, &record); r != 0)
        throw ERSASign(WithCode(Texts::HashError, r));

    std::unique_ptr<uint8_t[]> context;
    std::size_t contextSize = 0;
    try {
        // A kit that reports no usable size must not make us allocate nothing
        // and let it write past the end.
        if (record.contextSize <= 0)
            throw EAllocationError(Texts::InvalidMemorySize);
        contextSize = static_cast<std::size_t>(record.contextSize);
        context.reset(new uint8_t[contextSize]());
    } catch (const std::exception& e) {
        throw ERSAMemoryAlloc(FailureText(e));
    }

    int32_t r = 0;
    try {
        Source.clear();
        Source.seekg(0);
        if (!Source)
            throw std::ios_base::failure("Stream read error");
        r = initHash(Handle, HL_HASH_ALG_SHA256_16, context.get());
        char block[512];
        while (r == 0) {
            Source.read(block, sizeof block);
            if (Source.bad())
                throw std::ios_base::failure("Stream read error");
            const auto count = static_cast<int32_t>(Source.gcount());
            r = contHash(context.get(), block, count);
            if (count < static_cast<int32_t>(sizeof block))
                break;
        }
        if (r == 0)
            r = endHash(context.get(), Digest);
        ZeroBuffer(context.get(), static_cast<int>(contextSize));
    } catch (const std::exception& e) {
        ZeroBuffer(context.get(), static_cast<int>(contextSize));
        throw ERSASign(FailureText(e));
    }
    if (r != 0) {
        ZeroBuffer(Digest, DigestSize);
        throw ERSASign(WithCode(Texts::HashError, r));
    }
}

std::unique_ptr<std::stringstream> TRSAMedia::SignStream(const std::string& Password, std::istream& Data)
{
    RequireKit(FKit);
    auto changeParam = Require<hl_change_def_int_param_t>(FKit, "hl_change_def_int_param");
    auto sign = Require<hl_sign_t>(FKit, "hl_sign");
    if (!IsOpen())
        throw ERSAMediaNotOpened(Texts::MediaNotOpened);

    uint8_t digest[DigestSize] = {};
    HashStream(FKit, FHandle, Data, digest);
    int32_t r = changeParam(FHandle, HL_PARAM_SIGN_PADDING, HL_PADDING_PKCS1_V15);
    if (r != 0)
        throw ERSASign(WithCode(Texts::SignError, r));
    uint8_t signature[SignatureSize] = {};
    r = sign(FHandle, digest, DigestSize, signature, Password.c_str(), HL_HASH_ALG_SHA256_16);
    if (r != 0)
        throw ERSASign(WithCode(Texts::SignError, r));
    try {
        auto result = std::make_unique<std::stringstream>(std::ios::in | std::ios::out | std::ios::binary);
        result->write(reinterpret_cast<const char*>(signature), SignatureSize);
        if (!*result)
            throw std::ios_base::failure("Stream write error");
        result->seekg(0, std::ios::end);
        return result;
    } catch (const std::exception& e) {
        throw ERSASign(FailureText(e));
    }
}

void TRSAMedia::SignString(const std::string& Password, const std::string& Data, std::string& Signature)
{
    StringReader reader(Data);
    std::istream source(&reader);
    auto result = SignStream(Password, source);
    try {
        Signature = result->str();
    } catch (const std::exception& e) {
        throw ERSASign(FailureText(e));
    }
}

void HashString(KitLibraries& Kit, const std::string& Text, std::string& HexDigest)
{
    RequireKit(Kit);
    auto on = Require<hl_on_t>(Kit, "hl_on");
    auto off = Require<hl_off_t>(Kit, "hl_off");
    int32_t handle = -1;
    if (const int32_t r = on(&handle, HL_MODE_HASH_ONLY, nullptr); r != 0)
        throw ERSAMediaOn(WithCode(Texts::MediaOn, r));
    uint8_t digest[TRSAMedia::DigestSize] = {};
    try {
        StringReader reader(Text);
        std::istream source(&reader);
        TRSAMedia::HashStream(Kit, handle, source, digest);
    } catch (...) {
        // The failure of the hash is the one to report.
        off(handle);
        throw;
    }
    // As Close: a handle that did not close is a failure of the kit.
    if (off(handle) != 0)
        throw ERSAMediaOff(Texts::MediaOff);
    StringToHex(std::string(reinterpret_cast<char*>(digest), sizeof digest), HexDigest);
}

std::string HashString(KitLibraries& Kit, const std::string& Text)
{
    std::string digest;
    HashString(Kit, Text, digest);
    return digest;
}

bool SameKeyOwner(const std::vector<std::string>& List)
{
    if (List.size() < 2)
        return false;
    std::vector<std::string> blocks;
    blocks.reserve(List.size());
    for (const auto& entry : List) {
        blocks.push_back(HexToString(entry));
        if (blocks.back().size() != static_cast<std::size_t>(TRSAMedia::InfoSize))
            return false;
    }
    for (std::size_t i = 1; i < blocks.size(); ++i) {
        if (blocks[i].compare(32, 32, blocks[0], 32, 32) != 0)
            return false;
    }
    return true;
}

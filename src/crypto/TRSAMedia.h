#pragma once
// One RSA key file held by the crypto kit. The medium opens and closes a kit
// handle on the file, creates the key pair of a new certificate for an entity,
// reads the public key and the 100-byte info block, changes the password,
// stores the certificate that the authority signed, and signs data. It never
// touches the storage file: the caller writes the key file out, runs one
// operation and wipes it.
//
// Every failure is one of the exceptions below (or a plain Exception where
// said); a failing kit result is appended to the message in decimal.
#include "crypto/KitLibraries.h"
#include "crypto/SeedOwner.h"
#include "base/Exception.h"
#include "store/TUserData.h"

#include <array>
#include <cstdint>
#include <istream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

QUORVEX_EXCEPTION(ERSAMediaException, Exception);
QUORVEX_EXCEPTION(EDLLLoadFail, ERSAMediaException);
QUORVEX_EXCEPTION(EFunctionLoadFail, ERSAMediaException);
QUORVEX_EXCEPTION(ERSARandomSeed, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAUser, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAMemoryAlloc, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAMediaNotOpened, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAMediaOn, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAMediaFormat, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAMediaOff, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAMediaCreation, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAMediaAccess, ERSAMediaException);
QUORVEX_EXCEPTION(ERSASign, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAChangeKey, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAInvalidArgument, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAPutCertificate, ERSAMediaException);
QUORVEX_EXCEPTION(ERSAUpdateId, ERSAMediaException);

class TRSAMedia {
public:
    static constexpr int SeedSize = 128;
    static constexpr int InfoSize = 100;
    static constexpr int PublicKeySize = 140;
    static constexpr int CertificateSize = 192;
    static constexpr int SignatureSize = 128;
    static constexpr int DigestSize = 16;
    static constexpr int IdentifierLength = 26;
    // The kit's answer to a wrong password.
    static constexpr int32_t WrongPassword = 40979;

    // A medium on the given kit and key file. An empty FileName gives a new
    // name in the kit's folder, which is the program's folder.
    explicit TRSAMedia(KitLibraries& Kit, const std::string& FileName = std::string());
    // Destroy: zeroes the seed and closes an open medium (a failing close is
    // swallowed here; nothing may escape a destructor).
    ~TRSAMedia();
    TRSAMedia(const TRSAMedia&) = delete;
    TRSAMedia& operator=(const TRSAMedia&) = delete;

    bool IsOpen() const { return FHandle != -1; }
    void Open();
    void Close();

    // Fills the medium's seed from the user's mouse movements (the kit's seed
    // dialog, over Owner's window when there is one) and returns a copy of
    // its 128 bytes.
    void GatherSeed(std::string& Seed, const SeedOwner* Owner = nullptr);
    void Generate(const std::string& Password);
    void GenerateFor(const std::string& Password, const TUserData& Source);
    void GetPublicKey(std::string& Key);
    void GetUserInfo(std::string& Info);
    // True when changed, False when the old password is wrong.
    bool ChangePassword(const std::string& OldPassword, const std::string& NewPassword);
    void PutCertificate(const std::string& Password, const std::string& Identifier, const std::string& CertificateHex);
    // A new stream, positioned at its end, holding the 128-byte signature of
    // the whole content of Data.
    std::unique_ptr<std::stringstream> SignStream(const std::string& Password, std::istream& Data);
    void SignString(const std::string& Password, const std::string& Data, std::string& Signature);

    int32_t Handle() const { return FHandle; }
    const std::string& FileName() const { return FFileName; }
    const std::array<uint8_t, SeedSize>& Seed() const { return FSeed; }
    TUserData& UserData() { return FUserData; }

    // Program folder + a new GUID in registry form + ".PRI".
    static std::string DefaultFileName(const std::string& Folder);

private:
    friend void HashString(KitLibraries& Kit, const std::string& Text, std::string& HexDigest);
    static void HashStream(KitLibraries& Kit, int32_t Handle, std::istream& Source, uint8_t (&Digest)[DigestSize]);

    KitLibraries& FKit;
    int32_t FHandle = -1;
    std::string FFileName;
    std::array<uint8_t, SeedSize> FSeed{};
    TUserData FUserData;
};

// The kit's 16-byte digest of the bytes of Text as 32 upper-case hex digits:
// the fingerprint of the data and export files. Uses a kit handle of its own.
void HashString(KitLibraries& Kit, const std::string& Text, std::string& HexDigest);
std::string HashString(KitLibraries& Kit, const std::string& Text);

// True when the list holds at least two entries, each decodes from hex to
// exactly 100 bytes, and bytes 32-63 of every entry equal those of the first.
bool SameKeyOwner(const std::vector<std::string>& List);

// A new GUID in registry text form: braces, 8-4-4-4-12 upper-case hex digits.
std::string NewGuidText();

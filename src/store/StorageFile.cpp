#include "store/StorageFile.h"

#include "store/TRequestFile.h"

#include <algorithm>
#include <cctype>

namespace {

// Sections and keys of the storage file.
const char* const kGeneral = "General";
const char* const kRequest = "Request";
const char* const kMasterKey = "MasterKey";
const char* const kKeys = "Keys";
const char* const kRequestSent = "RequestSent";
const char* const kRequestReceived = "RequestReceived";
const char* const kPublicKey = "PublicKey";
const char* const kInfo = "Info";
const char* const kKeyFile = "KeyFile";
const char* const kName = "Name";
const char* const kSigned = "Signed";
const char* const kInscricao = "Inscricao";
const char* const kRequestReference = "RequestReference";
const char* const kFileName = "FileName";
const char* const kFingerprint = "Fingerprint";
const char* const kValue = "Value";

// Identifiers and positions compare without regard to ASCII letter case (a
// GUID may be written in either case).
bool SameIdentifier(const std::string& A, const std::string& B)
{
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A request position: two digits from "00".
std::string PositionName(std::size_t Index)
{
    std::string text = std::to_string(Index);
    return text.size() < 2 ? "0" + text : text;
}

} // namespace

const StorageFile StorageFile::Reading(const TRequestFile& File)
{
    // Only the const members can be called on the result.
    return StorageFile(const_cast<TRequestFile&>(File));
}

std::vector<std::string> StorageFile::SplitList(const std::string& Text)
{
    std::vector<std::string> items;
    if (Text.empty())
        return items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = Text.find(',', start);
        items.push_back(Text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return items;
}

std::string StorageFile::JoinList(const std::vector<std::string>& List)
{
    std::string text;
    for (std::size_t i = 0; i < List.size(); ++i) {
        if (i > 0)
            text += ',';
        text += List[i];
    }
    return text;
}

bool StorageFile::FilledIn() const
{
    return file_->ReadBool(kGeneral, kRequest, false);
}

std::string StorageFile::MasterKey() const
{
    return file_->ReadString(kGeneral, kMasterKey, "");
}

void StorageFile::SetMasterKey(const std::string& Id)
{
    file_->WriteString(kGeneral, kMasterKey, Id);
}

std::vector<std::string> StorageFile::Keys() const
{
    return SplitList(file_->ReadString(kGeneral, kKeys, ""));
}

void StorageFile::SetKeys(const std::vector<std::string>& Ids)
{
    file_->WriteString(kGeneral, kKeys, JoinList(Ids));
}

std::vector<std::string> StorageFile::Certificates() const
{
    std::vector<std::string> ids;
    const std::string master = MasterKey();
    if (!master.empty())
        ids.push_back(master);
    for (const std::string& id : Keys())
        if (!id.empty())
            ids.push_back(id);
    return ids;
}

bool StorageFile::RequestSent() const
{
    return file_->ReadBool(kGeneral, kRequestSent, false);
}

bool StorageFile::RequestReceived() const
{
    return file_->ReadBool(kGeneral, kRequestReceived, false);
}

void StorageFile::MarkRequestReceived()
{
    file_->WriteBool(kGeneral, kRequestReceived, true);
}

void StorageFile::AddCertificate(const std::string& Id)
{
    if (MasterKey().empty()) {
        SetMasterKey(Id);
        return;
    }
    std::vector<std::string> keys = Keys();
    keys.push_back(Id);
    SetKeys(keys);
}

void StorageFile::RemoveCertificate(const std::string& Id)
{
    std::vector<std::string> keys = Keys();
    if (MasterKey() != Id) {
        const auto it =
            std::find_if(keys.begin(), keys.end(), [&](const std::string& k) { return SameIdentifier(k, Id); });
        if (it != keys.end())
            keys.erase(it);
        SetKeys(keys);
    } else if (!keys.empty()) {
        SetMasterKey(keys.front());
        keys.erase(keys.begin());
        SetKeys(keys);
    } else {
        file_->DeleteKey(kGeneral, kMasterKey);
    }
    file_->EraseSection(Id);

    if (MasterKey().empty()) {
        for (const char* key : {kRequestReceived, kRequestSent, kKeys, kMasterKey})
            file_->DeleteKey(kGeneral, key);
    }
}

TStoredCertificate StorageFile::Certificate(const std::string& Id) const
{
    return {PublicKey(Id), Info(Id), KeyFile(Id), Name(Id), Signed(Id)};
}

void StorageFile::PutCertificate(const std::string& Id, const TStoredCertificate& Certificate)
{
    PutNewKey(Id, Certificate.PublicKey, Certificate.Info, Certificate.KeyFile, Certificate.Name);
    file_->WriteBool(Id, kSigned, Certificate.Signed);
}

std::string StorageFile::PublicKey(const std::string& Id) const
{
    return file_->ReadString(Id, kPublicKey, "");
}

std::string StorageFile::Info(const std::string& Id) const
{
    return file_->ReadString(Id, kInfo, "");
}

std::string StorageFile::KeyFile(const std::string& Id) const
{
    return file_->ReadString(Id, kKeyFile, "");
}

std::string StorageFile::Name(const std::string& Id) const
{
    return file_->ReadString(Id, kName, "");
}

bool StorageFile::Signed(const std::string& Id) const
{
    return file_->ReadBool(Id, kSigned, false);
}

void StorageFile::PutNewKey(const std::string& Id, const std::string& PublicKeyHex, const std::string& InfoHex,
                            const std::string& KeyFileHex, const std::string& Name)
{
    file_->WriteString(Id, kPublicKey, PublicKeyHex);
    file_->WriteString(Id, kInfo, InfoHex);
    file_->WriteString(Id, kKeyFile, KeyFileHex);
    file_->WriteString(Id, kName, Name);
}

void StorageFile::SetName(const std::string& Id, const std::string& Name)
{
    file_->WriteString(Id, kName, Name);
}

void StorageFile::PutSigned(const std::string& Id, const std::string& KeyFileHex, const std::string& InfoHex)
{
    file_->WriteString(Id, kKeyFile, KeyFileHex);
    file_->WriteString(Id, kInfo, InfoHex);
    file_->WriteBool(Id, kSigned, true);
}

std::string StorageFile::RequestInscricao() const
{
    return file_->ReadString(kRequest, kInscricao, "");
}

void StorageFile::MarkRequestSent(const std::vector<std::string>& Positions, const std::string& FileName)
{
    file_->EraseSection(kRequestReference);
    for (std::size_t i = 0; i < Positions.size(); ++i)
        file_->WriteString(kRequestReference, PositionName(i), Positions[i]);
    if (!FileName.empty())
        file_->WriteString(kRequestReference, kFileName, FileName);
    file_->WriteBool(kGeneral, kRequestSent, true);
}

std::vector<std::string> StorageFile::RequestPositions() const
{
    std::vector<std::string> names;
    file_->ReadSection(kRequestReference, names);
    std::vector<std::string> positions;
    for (std::string& name : names)
        if (!SameIdentifier(name, kFileName))
            positions.push_back(std::move(name));
    return positions;
}

std::string StorageFile::RequestedCertificate(const std::string& Position) const
{
    return file_->ReadString(kRequestReference, Position, "");
}

std::string StorageFile::Fingerprint() const
{
    return file_->ReadString(kFingerprint, kValue, "");
}

void StorageFile::SetFingerprint(const std::string& Value)
{
    file_->WriteString(kFingerprint, kValue, Value);
}

void StorageFile::EraseFingerprint()
{
    file_->EraseSection(kFingerprint);
}

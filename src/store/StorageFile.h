#pragma once
// An entity's storage file (STORAGE.<n>.DAT) read and written by meaning:
// its certificates with their fields, the master key, the state of the
// request and its marks. A view over the TRequestFile that the registry
// holds: every value goes through that file's reads and writes, so the bytes
// are the same as ever; nothing here saves (the entity session commits).
//
// An export file holds its certificates as a storage file does ([General]
// Keys, one section per certificate, [Fingerprint] Value), so the same view
// reads and writes those parts of it.
#include <string>
#include <vector>

class TRequestFile;

// One certificate's section: the values as stored (hexadecimal text for the
// key material).
struct TStoredCertificate {
    std::string PublicKey;
    std::string Info;
    std::string KeyFile;
    std::string Name;
    bool Signed = false;

    bool operator==(const TStoredCertificate&) const = default;
};

class StorageFile {
public:
    explicit StorageFile(TRequestFile& File) : file_(&File) {}
    // A view that only reads: the object is const, so none of the writes
    // can be called on it.
    static const StorageFile Reading(const TRequestFile& File);

    TRequestFile& File() const { return *file_; }

    // ---- [General] -----------------------------------------------------------
    // Request: the entity's data were filled in ([Request], [Resp]).
    bool FilledIn() const;
    // MasterKey: the first certificate, whose key signs the requests; empty
    // when the entity has none.
    std::string MasterKey() const;
    void SetMasterKey(const std::string& Id);
    // Keys: the other certificates, a comma list (an empty text is an empty
    // list; empty entries are kept as written).
    std::vector<std::string> Keys() const;
    void SetKeys(const std::vector<std::string>& Ids);
    // The master followed by the others, empty entries left out.
    std::vector<std::string> Certificates() const;
    bool RequestSent() const;
    bool RequestReceived() const;
    // A signed certificate was incorporated: RequestReceived=1.
    void MarkRequestReceived();

    // A new certificate's identifier: the master when there is none yet,
    // else the last of Keys. Its section is written apart.
    void AddCertificate(const std::string& Id);
    // Takes a certificate out: its identifier leaves the lists (the first
    // of Keys becomes the master when the master goes) and its section is
    // erased. When no master is left, the request state goes with it
    // (RequestReceived, RequestSent, Keys, MasterKey), so that the next
    // certificate starts a new road.
    void RemoveCertificate(const std::string& Id);

    // ---- one section per certificate --------------------------------------
    TStoredCertificate Certificate(const std::string& Id) const;
    // Writes PublicKey, Info, KeyFile, Name and Signed, in that order.
    void PutCertificate(const std::string& Id, const TStoredCertificate& Certificate);
    std::string PublicKey(const std::string& Id) const;
    std::string Info(const std::string& Id) const;
    std::string KeyFile(const std::string& Id) const;
    std::string Name(const std::string& Id) const;
    bool Signed(const std::string& Id) const;
    // A freshly generated key: PublicKey, Info, KeyFile and Name, in that
    // order, no Signed mark.
    void PutNewKey(const std::string& Id, const std::string& PublicKeyHex, const std::string& InfoHex,
                   const std::string& KeyFileHex, const std::string& Name);
    void SetName(const std::string& Id, const std::string& Name);
    // The key file and info block that the certificate was put into, and
    // Signed=1.
    void PutSigned(const std::string& Id, const std::string& KeyFileHex, const std::string& InfoHex);

    // ---- [Request] -------------------------------------------------------------
    // The inscription the entity's data give.
    std::string RequestInscricao() const;

    // ---- [RequestReference] ------------------------------------------------
    // The request on its way: [RequestReference] written again with one
    // line per position ("00", "01", ...) naming the certificate whose key
    // is at that position, then FileName when given, and RequestSent=1.
    void MarkRequestSent(const std::vector<std::string>& Positions, const std::string& FileName);
    // The positions of the request on its way, in their order ("FileName"
    // is no position).
    std::vector<std::string> RequestPositions() const;
    // The certificate at a position (the first line of that position).
    std::string RequestedCertificate(const std::string& Position) const;

    // ---- [Fingerprint] ------------------------------------------------------
    std::string Fingerprint() const;
    void SetFingerprint(const std::string& Value);
    void EraseFingerprint();

    // A comma list as [General] Keys writes it.
    static std::vector<std::string> SplitList(const std::string& Text);
    static std::string JoinList(const std::vector<std::string>& List);

private:
    TRequestFile* file_;
};

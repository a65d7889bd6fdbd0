#pragma once
// One registered entity in memory: identification, address, contact data,
// profile and responsible persons. Only the zero-fill rules of Inscricao,
// Profile and Tipo_Inscricao are enforced, by their setters.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TCustomRequestFile;

class TUserData {
public:
    TUserData() = default;

    std::string Bairro;
    std::string CEP;
    std::string Cidade;
    std::string Email;
    std::string Endereco;
    std::string Razao;
    std::string Telefone;
    std::string UF;
    // Responsible persons: name, CPF, name, CPF, ... Absent until first use;
    // "no list" and "an empty list" are different states for the callers.
    std::optional<std::vector<std::string>> Resp;
    // The entity number n (names Entity<n> and STORAGE.<n>.DAT); 0 until set.
    int32_t Index = 0;

    // The identifier, at least 14 characters (digits left-padded with "0"),
    // unless it holds a letter (an alphanumeric CNPJ, never padded).
    const std::string& Inscricao() const { return Inscricao_; }
    // Stores Text preceded by as many "0" as 14 minus its length; a text
    // holding a letter is stored as it is.
    void SetInscricao(const std::string& Text);
    // Profile code, two digits.
    const std::string& Profile() const { return Profile_; }
    // A one-character code gets a leading "0"; anything else is kept as is.
    void SetProfile(const std::string& Text);
    // Identifier type: "01" CNPJ, "02" CEI.
    const std::string& Tipo_Inscricao() const { return Tipo_Inscricao_; }
    // Same rule as SetProfile.
    void SetTipoInscricao(const std::string& Text);

    // The list of responsible persons, created empty on first use.
    std::vector<std::string>& RespList();

    // Copies every field except Resp and Index, the padded ones through
    // their setters.
    void Assign(const TUserData& Source);

    // Tipo_Inscricao + Inscricao + "000000" + Profile followed by six NUL
    // characters: the identity a generated key carries.
    std::string KeyIdentity() const;

    // ---- the record in the data files ---------------------------------------
    // The eleven fields kept for an entity, in the order they are written:
    // Profile, Tipo_Inscricao, Inscricao, Razao, Endereco, Bairro, Cidade, UF,
    // CEP, Telefone, Email. The registry's Entity<n> section holds them with
    // Index; the storage file's [Request] section holds them too.
    static const std::vector<std::string>& FieldKeys();

    // Reads the eleven fields from Section, each missing key as Default; the
    // padded ones go through their setters.
    void ReadFields(const TCustomRequestFile& File, const std::string& Section, const std::string& Default);
    // Writes the eleven fields to Section, in their order. Memory only.
    void WriteFields(TCustomRequestFile& File, const std::string& Section) const;

    // The registry record: the fields of Section (missing ones read as "0")
    // and Index (0 when missing).
    void ReadRegistryRecord(const TCustomRequestFile& Registry, const std::string& Section);
    // Writes the fields and then Index to Section. Memory only.
    void WriteRegistryRecord(TCustomRequestFile& Registry, const std::string& Section) const;

    // The responsible persons of a storage file's [Resp] section: RespCount
    // pairs Resp<i>, Cpf<i> (a count beyond the section's lines is cut to
    // them, since only a damaged file holds one). Creates the list.
    void ReadResp(const TCustomRequestFile& Storage);
    // The entity's data as its storage file holds them: the fields of
    // [Request] (missing ones empty) and the persons of [Resp].
    void ReadStorageRecord(const TCustomRequestFile& Storage);
    // The entity's data in its storage file: [General] Request=1, the fields
    // in [Request], then [Resp] written whole again with RespCount last, and
    // one save. Raises what saving raises; memory then holds the record.
    void WriteStorageRecord(TCustomRequestFile& Storage) const;

private:
    std::string Inscricao_;
    std::string Profile_;
    std::string Tipo_Inscricao_;
};

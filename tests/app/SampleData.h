#pragma once
// Builds program folders with ENTITY.DAT and STORAGE.<n>.DAT in the states
// the main window distinguishes, written as the program itself writes them
// (CR LF, one empty line after each section).
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace sample {

enum class State { Registered, Filled, Created, Sent, ReceivedAllSigned, ReceivedOneUnsigned };

struct Certificate {
    std::string Id;
    std::string Name;
    bool Signed = false;
};

struct Entity {
    std::string Razao;
    std::string Inscricao;                                    // 14 digits
    std::vector<std::pair<std::string, std::string>> General; // [General] of the storage
    std::vector<Certificate> Certificates;                    // first one is the master
};

inline std::string Guid(int n)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-1111-2222-3333-%012X}", n, n * 7);
    return buffer;
}

// An entity in one of the states, with `count` certificates from id base.
inline Entity Make(const std::string& razao, const std::string& inscricao, State state, int base = 1, int count = 2)
{
    Entity e{razao, inscricao, {}, {}};
    if (state != State::Registered)
        e.General.push_back({"Request", "1"});
    if (state == State::Registered || state == State::Filled)
        return e;
    for (int i = 0; i < count; ++i) {
        const bool isSigned =
            state == State::ReceivedAllSigned || (state == State::ReceivedOneUnsigned && i != count - 1);
        e.Certificates.push_back({Guid(base + i), "Certificado " + std::to_string(base + i), isSigned});
    }
    if (state == State::Sent || state == State::ReceivedAllSigned || state == State::ReceivedOneUnsigned)
        e.General.push_back({"RequestSent", "1"});
    if (state == State::ReceivedAllSigned || state == State::ReceivedOneUnsigned)
        e.General.push_back({"RequestReceived", "1"});
    return e;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string StorageText(const Entity& e)
{
    std::ostringstream out;
    out << "[General]\r\n";
    for (const auto& [key, value] : e.General)
        out << key << "=" << value << "\r\n";
    if (!e.Certificates.empty()) {
        out << "MasterKey=" << e.Certificates.front().Id << "\r\n";
        std::string keys;
        for (std::size_t i = 1; i < e.Certificates.size(); ++i)
            keys += (i > 1 ? "," : "") + e.Certificates[i].Id;
        out << "Keys=" << keys << "\r\n";
    }
    out << "\r\n[Request]\r\nRazao=" << e.Razao << "\r\nInscricao=" << e.Inscricao << "\r\n\r\n";
    for (const Certificate& c : e.Certificates)
        out << "[" << c.Id << "]\r\nName=" << c.Name
            << "\r\nPublicKey=00\r\nInfo=00\r\nKeyFile=00\r\nSigned=" << (c.Signed ? "1" : "0") << "\r\n\r\n";
    return out.str();
}

// Writes ENTITY.DAT and one storage file per entity into dir (which ends in
// '/'); entity n is at position n. activeIndex 0 means "none".
inline void Write(const std::string& dir, const std::vector<Entity>& entities, int activeIndex = 1)
{
    std::ostringstream reg;
    if (!entities.empty()) {
        reg << "[General]\r\nCount=" << entities.size() << "\r\nCountAll=" << entities.size()
            << "\r\nActiveIndex=" << activeIndex << "\r\n\r\n";
    }
    for (std::size_t i = 0; i < entities.size(); ++i) {
        const int n = int(i) + 1;
        const Entity& e = entities[i];
        reg << "[Entity" << n << "]\r\nfilename=" << dir << "STORAGE." << n << ".DAT\r\nProfile=01\r\n"
            << "Tipo_Inscricao=01\r\nInscricao=" << e.Inscricao << "\r\nRazao=" << e.Razao << "\r\nIndex=" << n
            << "\r\n\r\n";
        WriteFile(dir + "STORAGE." + std::to_string(n) + ".DAT", StorageText(e));
    }
    if (!entities.empty())
        WriteFile(dir + "ENTITY.DAT", reg.str());
}

} // namespace sample

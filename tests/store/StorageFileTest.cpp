// The storage file's own rules: which certificate becomes the master, what
// a removal leaves of the lists and of the request state, and how a request
// on its way is recorded. Each case starts from a file's bytes and checks
// the bytes after the change, so the layout is checked with the rule.
#include "store/StorageFile.h"
#include "store/TRequestFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TRequestFile> FileOf(const std::string& Text)
{
    auto file = TRequestFile::CreateFromLines(nullptr);
    file->SetText(Text);
    return file;
}

const std::string A = "{AAAAAAAA-0000-4000-8000-000000000001}";
const std::string B = "{BBBBBBBB-0000-4000-8000-000000000002}";
const std::string C = "{CCCCCCCC-0000-4000-8000-000000000003}";

std::string Section(const std::string& Id)
{
    return "[" + Id + "]\r\nPublicKey=01\r\nName=n\r\n\r\n";
}

struct ChangeCase {
    const char* What;
    std::string Before;
    std::function<void(StorageFile&)> Change;
    std::string After;
};

TEST(StorageFileTest, ChangesLeaveTheLayoutTheStepsRelyOn)
{
    const std::string sent = "RequestSent=1\r\nRequestReceived=1\r\n";
    const std::vector<ChangeCase> cases{
        {"the first certificate becomes the master", "[General]\r\nRequest=1\r\n\r\n",
         [](StorageFile& s) { s.AddCertificate(A); }, "[General]\r\nRequest=1\r\nMasterKey=" + A + "\r\n\r\n"},
        {"a later one joins Keys", "[General]\r\nMasterKey=" + A + "\r\nKeys=" + B + "\r\n\r\n",
         [](StorageFile& s) { s.AddCertificate(C); },
         "[General]\r\nMasterKey=" + A + "\r\nKeys=" + B + "," + C + "\r\n\r\n"},
        {"removing one of Keys (any letter case) takes its section and keeps the master and the request state",
         "[General]\r\nMasterKey=" + A + "\r\nKeys=" + B + "," + C + "\r\n" + sent + "\r\n" + Section(B),
         [](StorageFile& s) {
             std::string lower = B;
             for (char& c : lower)
                 c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
             s.RemoveCertificate(lower);
         },
         "[General]\r\nMasterKey=" + A + "\r\nKeys=" + C + "\r\n" + sent + "\r\n"},
        {"removing the master makes the first of Keys the master",
         "[General]\r\nMasterKey=" + A + "\r\nKeys=" + B + "," + C + "\r\n\r\n" + Section(A) + Section(B),
         [](StorageFile& s) { s.RemoveCertificate(A); },
         "[General]\r\nMasterKey=" + B + "\r\nKeys=" + C + "\r\n\r\n" + Section(B)},
        {"removing the last certificate clears the request state",
         "[General]\r\nRequest=1\r\nMasterKey=" + A + "\r\nKeys=\r\n" + sent + "\r\n" + Section(A),
         [](StorageFile& s) { s.RemoveCertificate(A); }, "[General]\r\nRequest=1\r\n\r\n"},
        {"a request on its way: positions, file name and the mark",
         "[General]\r\nRequest=1\r\n\r\n"
         "[RequestReference]\r\n00=old\r\n\r\n",
         [](StorageFile& s) {
             s.MarkRequestSent({A, B}, "/m/R.TXT");
         },
         "[General]\r\nRequest=1\r\nRequestSent=1\r\n\r\n[RequestReference]\r\n00=" + A + "\r\n01=" + B
             + "\r\nFileName=/m/R.TXT\r\n\r\n"},
        {"an export records its positions without a file name", "[General]\r\n\r\n",
         [](StorageFile& s) { s.MarkRequestSent({C}, {}); },
         "[General]\r\nRequestSent=1\r\n\r\n[RequestReference]\r\n00=" + C + "\r\n\r\n"},
        {"a certificate copied whole: its five values in order", "",
         [](StorageFile& s) {
             s.PutCertificate(A, {"01", "02", "03", "nome", true});
         },
         "[" + A + "]\r\nPublicKey=01\r\nInfo=02\r\nKeyFile=03\r\nName=nome\r\nSigned=1\r\n\r\n"},
    };
    for (const ChangeCase& c : cases) {
        auto file = FileOf(c.Before);
        StorageFile storage(*file);
        c.Change(storage);
        EXPECT_EQ(file->Text(), c.After) << c.What;
    }
}

TEST(StorageFileTest, ReadsTheListsAndPositionsAsStored)
{
    auto file = FileOf("[General]\r\nMasterKey=" + A + "\r\nKeys=," + B + ",,\r\n\r\n[RequestReference]\r\n00=" + A
                       + "\r\nfilename=/m/R.TXT\r\n01=" + B + "\r\n\r\n[" + A + "]\r\nSigned=5\r\n\r\n");
    const StorageFile storage = StorageFile::Reading(*file);
    // Keys as written, empty entries kept; the certificate list leaves them out.
    EXPECT_EQ(storage.Keys(), (std::vector<std::string>{"", B, "", ""}));
    EXPECT_EQ(storage.Certificates(), (std::vector<std::string>{A, B}));
    // The file name is no position, whatever its letter case.
    EXPECT_EQ(storage.RequestPositions(), (std::vector<std::string>{"00", "01"}));
    EXPECT_EQ(storage.RequestedCertificate("01"), B);
    // Any non-zero integer marks a signed certificate; a missing one is not.
    EXPECT_TRUE(storage.Signed(A));
    EXPECT_FALSE(storage.Signed(B));
    EXPECT_EQ(StorageFile::JoinList(StorageFile::SplitList(",x,")), ",x,");
}

} // namespace

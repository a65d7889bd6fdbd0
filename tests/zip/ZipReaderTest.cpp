// The ZIP reader over archives good and bad: listing, extraction by name, the
// size bound, and every way an archive can fail to be one.
#include "support/ZipMaker.h"
#include "zip/ZipReader.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;
using TExtract = ZipReader::TExtract;

namespace {

using testsupport::TempFolder;

// Bytes that deflate well but are not all alike.
std::string Text(std::size_t Size)
{
    std::string s;
    s.reserve(Size);
    for (std::size_t i = 0; s.size() < Size; ++i)
        s += char('a' + (i * 7 + i / 13) % 26);
    return s;
}

std::uint32_t Read32(const std::string& b, std::size_t at)
{
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8
           | std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}

void Write32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

// A one-entry archive in memory.
std::string OneEntry(const std::string& Name, const std::string& Bytes)
{
    TempFolder tmp;
    EXPECT_TRUE(WriteZip(tmp.File("a.zip"), {{Name, Bytes}}));
    return ReadWhole(tmp.File("a.zip"));
}

} // namespace

TEST(ZipReader, ListsEntriesAndExtractsThemByName)
{
    TempFolder tmp;
    const std::string big = Text(200000);
    ASSERT_TRUE(WriteZip(tmp.File("HELP.DAT"), {{"index.htm", "<html>contents</html>"},
                                                {"Pic.PNG", std::string("\x89PNG\0\1", 6)},
                                                {"empty.htm", ""},
                                                {"big.htm", big}}));
    ZipReader zip;
    ASSERT_TRUE(zip.Open(tmp.File("HELP.DAT")));
    EXPECT_EQ(zip.Names(), (std::vector<std::string>{"index.htm", "Pic.PNG", "empty.htm", "big.htm"}));

    struct Case {
        const char* name;
        TExtract result;
        std::string bytes;
    } cases[] = {
        {"index.htm", TExtract::Ok, "<html>contents</html>"},
        {"Pic.PNG", TExtract::Ok, std::string("\x89PNG\0\1", 6)},
        {"pic.png", TExtract::Ok, std::string("\x89PNG\0\1", 6)}, // names as links write them
        {"big.htm", TExtract::Ok, big},
        {"empty.htm", TExtract::Ok, ""},
        {"absent.htm", TExtract::Missing, ""},
        {"", TExtract::Missing, ""},
    };
    for (const Case& c : cases) {
        std::string bytes = "left over";
        EXPECT_EQ(zip.Extract(c.name, bytes), c.result) << c.name;
        EXPECT_EQ(bytes, c.bytes) << c.name;
    }
    // The same archive from memory reads alike.
    ZipReader fromBytes;
    ASSERT_TRUE(fromBytes.OpenBytes(ReadWhole(tmp.File("HELP.DAT"))));
    EXPECT_EQ(fromBytes.Names(), zip.Names());
    EXPECT_EQ(fromBytes.ExtractToString("big.htm"), big);

    zip.Close();
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_TRUE(zip.Names().empty());
    EXPECT_EQ(zip.ExtractToString("index.htm"), "");
}

TEST(ZipReader, AnEntryAboveTheBoundIsRefusedWhateverItsHeaderSays)
{
    const std::string text = Text(100000);
    ZipReader zip;
    ASSERT_TRUE(zip.OpenBytes(OneEntry("page.htm", text)));
    std::string bytes;
    EXPECT_EQ(zip.Extract("page.htm", bytes, text.size()), TExtract::Ok);
    EXPECT_EQ(bytes, text);
    EXPECT_EQ(zip.Extract("page.htm", bytes, text.size() - 1), TExtract::TooLarge);
    EXPECT_TRUE(bytes.empty());

    // An archive whose headers declare less than the entry inflates to: the
    // reader never hands out more than the bound, nor what it declared,
    // whether the entry runs far past the bound or by a single byte.
    struct Lie {
        std::uint32_t declared;
        std::size_t inflated;
        std::uint64_t bound;
    } lies[] = {
        {10, 100000, 1000},
        {1000, 1001, 1000},
        {0, 1001, 1000},
    };
    for (const Lie& l : lies) {
        SCOPED_TRACE(std::to_string(l.declared) + " declared, " + std::to_string(l.inflated) + " inflated");
        std::string lying = OneEntry("page.htm", text.substr(0, l.inflated));
        ASSERT_EQ(Read32(lying, 0), 0x04034b50u);
        Write32(lying, 22, l.declared);
        const std::size_t central = lying.find(std::string("PK\x01\x02", 4));
        ASSERT_NE(central, std::string::npos);
        Write32(lying, central + 24, l.declared);
        ASSERT_TRUE(zip.OpenBytes(lying));
        bytes = "left over";
        const TExtract result = zip.Extract("page.htm", bytes, l.bound);
        EXPECT_NE(result, TExtract::Ok);
        EXPECT_TRUE(bytes.empty());
    }
}

TEST(ZipReader, WhatIsNoArchiveIsNotOpenedAndDamagedEntriesGiveNothing)
{
    TempFolder tmp;
    const std::string good = OneEntry("page.htm", Text(50000));
    const auto nameLength = static_cast<std::uint32_t>(std::uint8_t(good[26]) | std::uint8_t(good[27]) << 8);
    const std::size_t dataAt = 30 + nameLength;

    // Files that must not open: nothing there, a folder, a FIFO (which must
    // not block the open), an empty file, text, a cut archive.
    ASSERT_EQ(::mkfifo(tmp.File("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(tmp.File("folder"));
    WriteWhole(tmp.File("empty"), "");
    WriteWhole(tmp.File("text"), "<html>not an archive</html>");
    WriteWhole(tmp.File("cut"), good.substr(0, good.size() - 30));
    for (const char* name : {"missing", "folder", "fifo", "empty", "text", "cut"}) {
        ZipReader zip;
        EXPECT_FALSE(zip.Open(tmp.File(name))) << name;
        EXPECT_FALSE(zip.IsOpen()) << name;
        EXPECT_TRUE(zip.Names().empty()) << name;
        EXPECT_EQ(zip.ExtractToString("page.htm"), "") << name;
    }

    // An archive whose directory is sound but whose data are spoilt.
    std::string spoilt = good;
    for (std::size_t i = dataAt + 20; i < dataAt + 60; ++i)
        spoilt[i] = char(spoilt[i] ^ 0x5A);
    ZipReader zip;
    ASSERT_TRUE(zip.OpenBytes(spoilt));
    std::string bytes;
    EXPECT_EQ(zip.Extract("page.htm", bytes), TExtract::Damaged);
    EXPECT_TRUE(bytes.empty());

    // Opening a second archive over a first one leaves only the second.
    ASSERT_TRUE(zip.OpenBytes(OneEntry("other.htm", "x")));
    EXPECT_EQ(zip.Names(), std::vector<std::string>{"other.htm"});
    EXPECT_FALSE(zip.OpenBytes("garbage"));
    EXPECT_TRUE(zip.Names().empty());
}

// The data-file format: parsing, lookups, rendering, typed reads, and saving
// that never loses the previous file.
#include "support/FailingWriter.h"
#include "support/TempFolder.h"
#include "store/AtomicFileWriter.h"
#include "store/BatchFileWriter.h"
#include "store/StoreErrors.h"
#include "store/TRequestFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

using TempDir = testsupport::TempFolder;

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::unique_ptr<TRequestFile> FromText(const std::string& text)
{
    auto file = TRequestFile::CreateFromLines(nullptr);
    file->SetText(text);
    return file;
}

std::vector<std::string> Image(const TRequestFile& file)
{
    std::vector<std::string> lines;
    file.GetStrings(lines);
    return lines;
}

using testsupport::FailingWriter;

} // namespace

TEST(RequestFileParse, LinesAreSplitAtEveryLineEndAndClassified)
{
    auto f = FromText("before=dropped\r\n; comment\n[A]\rk1=v1\r\n\r\n;k=skipped\nno equals\r[B]\n[]\nx=1");
    const std::vector<std::string> expected = {"[A]", "k1=v1", "no equals", "", "[B]", "", "[]", "x=1", ""};
    EXPECT_EQ(Image(*f), expected);
    EXPECT_EQ(f->ReadString("", "x", "d"), "1");
}

TEST(RequestFileParse, HeaderNeedsBracketsAtBothEnds)
{
    auto f = FromText("[S]\na=1\n[T] \n [U]\n[V\n[W]");
    ASSERT_EQ(f->Sections().size(), 2u);
    EXPECT_EQ(f->Sections()[0].Name, "S");
    EXPECT_EQ(f->Sections()[0].Lines, (std::vector<std::string>{"a=1", "[T] ", " [U]", "[V"}));
    EXPECT_EQ(f->Sections()[1].Name, "W");
    EXPECT_TRUE(f->Sections()[1].Lines.empty());
}

TEST(RequestFileParse, NulEndsTheText)
{
    auto f = FromText("[S]\r\na=1\r\nb=2\0\r\nc=3\r\n[T]\r\n"s);
    EXPECT_EQ(f->ReadString("S", "b", "-"), "2");
    EXPECT_EQ(f->ReadString("S", "c", "-"), "-");
    EXPECT_EQ(f->Sections().size(), 1u);
}

TEST(RequestFileParse, DuplicateSectionsAreKeptAndFirstWins)
{
    TempDir dir;
    const std::string path = dir.File("dup.dat");
    WriteBytes(path, "[S]\r\na=1\r\n[s]\r\na=2\r\nb=3\r\n");
    TRequestFile f(path);
    EXPECT_EQ(f.ReadString("S", "a", ""), "1");
    EXPECT_EQ(f.ReadString("S", "b", "none"), "none");
    f.WriteString("S", "a", "9");
    f.UpdateFile();
    EXPECT_EQ(ReadBytes(path), "[S]\r\na=9\r\n\r\n[s]\r\na=2\r\nb=3\r\n\r\n");
    std::vector<std::string> names;
    f.ReadSections(names);
    EXPECT_EQ(names, (std::vector<std::string>{"S", "s"}));
}

TEST(RequestFileLookup, KeysAndValuesFollowTheFirstEquals)
{
    auto f = FromText("[General]\ncount=5\nKey = value\nK=a=b\nJ= a \nE=\nK=second\n");
    EXPECT_EQ(f->ReadInteger("GENERAL", "Count", 0), 5);
    EXPECT_EQ(f->ReadString("General", "Key", "def"), "def");
    EXPECT_EQ(f->ReadString("General", "Key ", "def"), " value");
    EXPECT_EQ(f->ReadString("general", "k", ""), "a=b");
    EXPECT_EQ(f->ReadString("General", "J", ""), " a ");
    EXPECT_EQ(f->ReadString("General", "E", "def"), "");
    EXPECT_EQ(f->ReadString("Missing", "E", "def"), "def");
    EXPECT_EQ(f->ReadString("General", "K=a", "def"), "def");
}

TEST(RequestFileLookup, CaseFoldingCoversAccentedLetters)
{
    auto f = FromText("[Sec\xC7\xC3O]\n\xC9ntry=1\n");
    EXPECT_EQ(f->ReadString("sec\xE7\xE3o", "\xE9NTRY", "-"), "1");
    EXPECT_EQ(f->ReadString("SECAO", "ENTRY", "-"), "-");
}

TEST(RequestFileLookup, ManySectionsStayOrderedWithDuplicatesAndErasures)
{
    // Enough sections to go through the lookup index.
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += "[S" + std::to_string(i) + "]\nv=" + std::to_string(i) + "\n";
    text += "[s7]\nv=dup\n";
    auto f = FromText(text);
    EXPECT_EQ(f->ReadString("S7", "v", ""), "7");
    f->EraseSection("s7");
    EXPECT_EQ(f->ReadString("S7", "v", ""), "dup");
    f->EraseSection("S7");
    EXPECT_EQ(f->ReadString("S7", "v", "gone"), "gone");
    f->WriteString("New", "k", "1");
    f->WriteString("new", "k2", "2");
    EXPECT_EQ(f->Sections().back().Name, "New");
    EXPECT_EQ(f->Sections().back().Lines, (std::vector<std::string>{"k=1", "k2=2"}));
    EXPECT_EQ(f->ReadString("S49", "v", ""), "49");
    EXPECT_EQ(f->Sections().size(), 50u);
}

TEST(RequestFileEdit, WriteReplacesFirstKeyInPlaceAndAppendsNewOnes)
{
    auto f = FromText("[S]\nA=1\nB=2\na=3\n[T]\nx=1\n");
    f->WriteString("s", "a", "new");
    f->WriteString("S", "C", "4");
    f->WriteString("U", "k", "v");
    EXPECT_EQ(Image(*f),
              (std::vector<std::string>{"[S]", "a=new", "B=2", "a=3", "C=4", "", "[T]", "x=1", "", "[U]", "k=v", ""}));
    f->DeleteKey("S", "A");
    EXPECT_EQ(f->ReadString("S", "a", ""), "3");
    f->DeleteKey("S", "missing");
    f->DeleteKey("Missing", "a");
    std::vector<std::string> names;
    f->ReadSection("S", names);
    EXPECT_EQ(names, (std::vector<std::string>{"B", "a", "C"}));
    f->EraseSection("T");
    f->EraseSection("nothing");
    f->ReadSections(names);
    EXPECT_EQ(names, (std::vector<std::string>{"S", "U"}));
}

TEST(RequestFileEdit, SectionListsReplaceTheCallersContent)
{
    auto f = FromText("[S]\nk=v\nplain\n=x\n");
    std::vector<std::string> list{"old"};
    f->ReadSection("S", list);
    EXPECT_EQ(list, (std::vector<std::string>{"k", "", ""}));
    list = {"old"};
    f->ReadSectionValues("S", list);
    EXPECT_EQ(list, (std::vector<std::string>{"k=v", "plain", "=x"}));
    f->ReadSection("none", list);
    EXPECT_TRUE(list.empty());
    list = {"keep"};
    f->GetStrings(list);
    EXPECT_EQ(list.front(), "keep");
    EXPECT_EQ(list.size(), 6u);
}

TEST(RequestFileEdit, ValueWithLineBreakSplitsOnReload)
{
    TempDir dir;
    const std::string path = dir.File("v.dat");
    TRequestFile f(path);
    f.WriteString("S", "k", "before\r\nafter=1");
    f.UpdateFile();
    TRequestFile g(path);
    EXPECT_EQ(g.ReadString("S", "k", ""), "before");
    EXPECT_EQ(g.ReadString("S", "after", "-"), "1");
}

TEST(RequestFileTyped, IntegersBooleansAndDefaults)
{
    auto f = FromText("[S]\nh1=0x1F\nh2=0X1F\nh3=$1F\nempty=\nabc=abc\nmixed=12abc\nneg=-42\nmax=2147483647\n"
                      "over=2147483648\nmin=-2147483648\nhexall=$FFFFFFFF\nzx=0x\nb2=2\nb0=0\ntrue=true\n");
    EXPECT_EQ(f->ReadInteger("S", "h1", 0), 31);
    EXPECT_EQ(f->ReadInteger("S", "h2", 0), 31);
    EXPECT_EQ(f->ReadInteger("S", "h3", 0), 31);
    EXPECT_EQ(f->ReadInteger("S", "empty", 7), 7);
    EXPECT_EQ(f->ReadInteger("S", "abc", 7), 7);
    EXPECT_EQ(f->ReadInteger("S", "mixed", 7), 7);
    EXPECT_EQ(f->ReadInteger("S", "neg", 7), -42);
    EXPECT_EQ(f->ReadInteger("S", "max", 7), 2147483647);
    EXPECT_EQ(f->ReadInteger("S", "over", 7), 7);
    EXPECT_EQ(f->ReadInteger("S", "min", 7), INT32_MIN);
    EXPECT_EQ(f->ReadInteger("S", "hexall", 7), -1);
    EXPECT_EQ(f->ReadInteger("S", "zx", 7), 7);
    EXPECT_TRUE(f->ReadBool("S", "h1", false));
    EXPECT_TRUE(f->ReadBool("S", "b2", false));
    EXPECT_FALSE(f->ReadBool("S", "b0", true));
    EXPECT_TRUE(f->ReadBool("S", "true", true));
    EXPECT_FALSE(f->ReadBool("S", "true", false));
    EXPECT_TRUE(f->ReadBool("S", "empty", true));
    f->WriteInteger("S", "w", -17);
    f->WriteBool("S", "t", true);
    f->WriteBool("S", "u", false);
    EXPECT_EQ(f->ReadString("S", "w", ""), "-17");
    EXPECT_EQ(f->ReadString("S", "t", ""), "1");
    EXPECT_EQ(f->ReadString("S", "u", ""), "0");
}

TEST(RequestFileTyped, DatesTimesAndFloatsRoundTrip)
{
    auto f = TRequestFile::CreateFromLines(nullptr);
    f->WriteDate("S", "d", 36526.75); // 1 January 2000, evening
    EXPECT_EQ(f->ReadString("S", "d", ""), "01/01/2000");
    EXPECT_DOUBLE_EQ(f->ReadDate("S", "d", -1), 36526.0);
    f->WriteDate("S", "d", 36526.99999999); // a moment before midnight: still that day
    EXPECT_EQ(f->ReadString("S", "d", ""), "01/01/2000");
    f->WriteDateTime("S", "dt", 45000.5);
    EXPECT_EQ(f->ReadString("S", "dt", ""), "15/03/2023 12:00:00");
    EXPECT_DOUBLE_EQ(f->ReadDateTime("S", "dt", -1), 45000.5);
    f->WriteTime("S", "t", 0.25 + 1.0 / 86400);
    EXPECT_EQ(f->ReadString("S", "t", ""), "06:00:01");
    f->WriteFloat("S", "x", 3.25);
    EXPECT_DOUBLE_EQ(f->ReadFloat("S", "x", 0), 3.25);
    f->WriteString("S", "bad", "31/02/2020");
    EXPECT_DOUBLE_EQ(f->ReadDate("S", "bad", -1), -1);
    EXPECT_DOUBLE_EQ(f->ReadFloat("S", "bad", -2), -2);
    EXPECT_DOUBLE_EQ(f->ReadTime("S", "none", -3), -3);
    EXPECT_DOUBLE_EQ(f->ReadDate("S", "dt", -4), -4);
    EXPECT_DOUBLE_EQ(f->ReadDateTime("S", "d", -5), 36526.0);
}

TEST(RequestFileDisk, MissingFileIsEmptyAndNotCreated)
{
    TempDir dir;
    const std::string path = dir.File("none.dat");
    TRequestFile f(path);
    EXPECT_TRUE(f.Sections().empty());
    EXPECT_EQ(f.FileName(), path);
    EXPECT_FALSE(fs::exists(path));
    f.UpdateFile();
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);
    f.WriteString("S", "k", "v");
    f.EraseSection("S");
    f.WriteString("S", "x", "y");
    f.DeleteKey("S", "x");
    f.UpdateFile();
    EXPECT_EQ(ReadBytes(path), "[S]\r\n\r\n");
}

TEST(RequestFileDisk, LoadAndSaveNormaliseTheLayout)
{
    TempDir dir;
    const std::string path = dir.File("n.dat");
    WriteBytes(path, "top=1\n;c\n[A]\n\nk=\xE9\xE7\xFF\rplain\n[B]\r\n");
    TRequestFile f(path);
    f.UpdateFile();
    EXPECT_EQ(ReadBytes(path), "[A]\r\nk=\xE9\xE7\xFF\r\nplain\r\n\r\n[B]\r\n\r\n");
    f.UpdateFile();
    EXPECT_EQ(ReadBytes(path), "[A]\r\nk=\xE9\xE7\xFF\r\nplain\r\n\r\n[B]\r\n\r\n");
    f.Clear();
    f.UpdateFile();
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST(RequestFileDisk, FromLinesAndSetStrings)
{
    const std::vector<std::string> lines{"junk", "[R]", "a=1", ";c", "", "b=2"};
    auto f = TRequestFile::CreateFromLines(lines);
    EXPECT_EQ(f->FileName(), "ghobe.ini");
    EXPECT_EQ(Image(*f), (std::vector<std::string>{"[R]", "a=1", "b=2", ""}));
    EXPECT_EQ(f->Text(), "[R]\r\na=1\r\nb=2\r\n\r\n");
    auto empty = TRequestFile::CreateFromLines(nullptr);
    EXPECT_EQ(empty->FileName(), "ghobe.ini");
    EXPECT_TRUE(Image(*empty).empty());
    f->SetStrings({"[X]", "y=2"});
    EXPECT_EQ(f->ReadString("R", "a", "-"), "-");
    EXPECT_EQ(f->ReadString("X", "y", "-"), "2");
}

TEST(RequestFileDisk, UnreadableAndUncreatableFilesRaiseTheirMessages)
{
    TempDir dir;
    const std::string folder = dir.File("folder.dat");
    fs::create_directory(folder);
    try {
        TRequestFile f(folder);
        FAIL() << "a folder cannot be read as a data file";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + folder);
        EXPECT_STREQ(e.ClassName(), "EFOpenError");
    }
    auto f = TRequestFile::CreateFromLines(std::vector<std::string>{"[S]", "a=1"});
    const std::string missingFolder = dir.File("no/such/file.dat");
    TRequestFile g(missingFolder);
    g.WriteString("S", "a", "1");
    try {
        g.UpdateFile();
        FAIL() << "saving into a missing folder must fail";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + missingFolder);
    }
    EXPECT_EQ(g.ReadString("S", "a", ""), "1");
}

TEST(RequestFileDisk, FailedWriteKeepsPreviousFileAndMemory)
{
    TempDir dir;
    const std::string path = dir.File("STORAGE.1.DAT");
    const std::string previous = "[General]\r\nKeys=1\r\n\r\n[Big]\r\nk=old\r\n\r\n";
    WriteBytes(path, previous);
    TRequestFile f(path);
    // Large enough to be written in two halves: the disk fails in the first,
    // in the second, and at the very last byte.
    f.WriteString("Big", "k", std::string(200000, 'A'));
    const std::string image = f.Text();

    for (std::size_t allowed :
         {std::size_t(0), std::size_t(1), std::size_t(4096), std::size_t(150000), image.size() - 1}) {
        auto writer = std::make_shared<FailingWriter>(allowed);
        f.SetWriter(writer);
        EXPECT_THROW(f.UpdateFile(), EWriteError) << allowed;
        EXPECT_EQ(writer->Failing.Written, allowed);
        EXPECT_EQ(ReadBytes(path), previous) << allowed;
        EXPECT_EQ(f.Text(), image) << allowed;
        // No half-written companion file is left behind.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    }
    const auto openFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    const auto opened = openFiles();
    f.SetWriter(nullptr);
    f.UpdateFile();
    EXPECT_EQ(ReadBytes(path), image);
    // The replaced version, held open across the rename, is let go.
    f.WriteString("Big", "k", "new");
    f.UpdateFile();
    AtomicFileWriter::WaitForReplacedVersions();
    EXPECT_EQ(openFiles(), opened);
}

TEST(RequestFileDisk, SavingKeepsPermissionsAndLinks)
{
    TempDir dir;
    const std::string target = dir.File("real.dat");
    const std::string link = dir.File("link.dat");
    WriteBytes(target, "[S]\r\n\r\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(target, link);
    TRequestFile f(link);
    f.WriteString("S", "k", "v");
    f.UpdateFile();
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(target), "[S]\r\nk=v\r\n\r\n");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

// A file that already holds the image is left alone (no rewrite, no flush);
// any difference, even one byte of the same length, is written.
TEST(RequestFileDisk, SavingAnUnchangedFileLeavesItInPlace)
{
    TempDir dir;
    const std::string path = dir.File("STORAGE.1.DAT");
    WriteBytes(path, "[S]\r\nk=v\r\n\r\n");
    const auto inode = [&] {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_ino;
    };
    const auto before = inode();
    TRequestFile f(path);
    f.UpdateFile();
    EXPECT_EQ(inode(), before);
    // Writing the value a key already has is no change either.
    f.WriteString("s", "k", "v");
    f.UpdateFile();
    EXPECT_EQ(inode(), before);

    WriteBytes(path, "[S]\r\nk=w\r\n\r\n");
    f.UpdateFile();
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=v\r\n\r\n");
    EXPECT_NE(inode(), before);

    // A file untouched for a while is known by its identity, not read again
    // (loses others' permissions all the same); one written since is seen.
    fs::permissions(path, fs::perms::group_read, fs::perm_options::add);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const auto settled = inode();
    TRequestFile h(path);
    h.UpdateFile();
    EXPECT_EQ(inode(), settled);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    WriteBytes(path, "[S]\r\nk=w\r\n\r\n");
    h.UpdateFile();
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=v\r\n\r\n");

    // A layout that differs from the image (LF only) is normalised.
    WriteBytes(path, "[S]\nk=v\n");
    TRequestFile g(path);
    g.UpdateFile();
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=v\r\n\r\n");
}

TEST(RequestFileBadInput, GarbageHugeLinesAndNulsLoad)
{
    TempDir dir;
    std::string garbage;
    unsigned x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        garbage.push_back(static_cast<char>((x >> 16) & 0xFF));
    }
    const std::string g = dir.File("garbage.dat");
    WriteBytes(g, garbage);
    EXPECT_NO_THROW({
        TRequestFile f(g);
        f.UpdateFile();
        TRequestFile again(g);
        EXPECT_EQ(Image(f), Image(again));
    });

    const std::string huge = dir.File("huge.dat");
    const std::string value(10 * 1024 * 1024, 'F');
    WriteBytes(huge, "[S]\r\nk=" + value + "\r\n");
    TRequestFile h(huge);
    EXPECT_EQ(h.ReadString("S", "k", "").size(), value.size());

    const std::string nul = dir.File("nul.dat");
    WriteBytes(nul, "[S]\r\na=1\r\n\0\0[T]\r\nb=2\r\n"s);
    TRequestFile n(nul);
    EXPECT_EQ(n.Sections().size(), 1u);
    EXPECT_EQ(n.ReadString("S", "a", ""), "1");
}

namespace {

// A plain model of the editing rules: a list of named sections of lines,
// first match wins, names and keys compared without case.
struct Model {
    std::vector<TRequestSection> Sections;

    static bool Same(const std::string& a, const std::string& b)
    {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    }
    TRequestSection* Find(const std::string& name)
    {
        for (auto& s : Sections)
            if (Same(s.Name, name))
                return &s;
        return nullptr;
    }
    static std::vector<std::string>::iterator Key(TRequestSection& s, const std::string& ident)
    {
        for (auto it = s.Lines.begin(); it != s.Lines.end(); ++it) {
            const auto eq = it->find('=');
            if (eq != std::string::npos && Same(it->substr(0, eq), ident))
                return it;
        }
        return s.Lines.end();
    }
    void Write(const std::string& sec, const std::string& ident, const std::string& value)
    {
        TRequestSection* s = Find(sec);
        if (!s) {
            Sections.push_back({sec, {}});
            s = &Sections.back();
        }
        auto it = Key(*s, ident);
        if (it != s->Lines.end())
            *it = ident + "=" + value;
        else
            s->Lines.push_back(ident + "=" + value);
    }
    void Delete(const std::string& sec, const std::string& ident)
    {
        if (TRequestSection* s = Find(sec)) {
            auto it = Key(*s, ident);
            if (it != s->Lines.end())
                s->Lines.erase(it);
        }
    }
    void Erase(const std::string& sec)
    {
        for (auto it = Sections.begin(); it != Sections.end(); ++it)
            if (Same(it->Name, sec)) {
                Sections.erase(it);
                return;
            }
    }
    std::string Read(const std::string& sec, const std::string& ident)
    {
        TRequestSection* s = Find(sec);
        if (!s)
            return "<none>";
        auto it = Key(*s, ident);
        return it == s->Lines.end() ? "<none>" : it->substr(ident.size() + 1);
    }
};

// The image of Sections as the format writes it; with Rng, the same text
// with what a reading drops or normalises: LF and CR ends, comments, empty
// lines, lines above the first header, a duplicate section, now and then a
// NUL that ends the reading.
std::string Rendered(const std::vector<TRequestSection>& sections, std::mt19937* rng = nullptr)
{
    auto chance = [rng](unsigned n) { return rng && (*rng)() % n == 0; };
    auto end = [&] { return chance(6) ? (chance(2) ? "\n" : "\r") : "\r\n"; };
    std::string out = chance(4) ? "above=dropped\r\n" : "";
    for (const auto& s : sections) {
        out += "[" + s.Name + "]" + end();
        for (const auto& line : s.Lines)
            out += (chance(16) ? (chance(2) ? ";note\r\n" : "\r\n") : "") + line + end();
        out += end();
    }
    if (!sections.empty() && chance(4))
        out += "[" + sections[0].Name + "]\r\ndup=1\r\n\r\n";
    if (chance(10))
        out.insert((*rng)() % (out.size() + 1), 1, '\0');
    return out;
}

bool SameSections(const std::vector<TRequestSection>& a, const std::vector<TRequestSection>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].Name != b[i].Name || a[i].Lines != b[i].Lines)
            return false;
    return true;
}

} // namespace

TEST(RequestFileEdit, RandomEditsFollowTheModel)
{
    // Long runs of edits over few and many sections, with large values so
    // that rewritten bytes pile up and get compacted away, and now and then
    // a fresh load; the image is checked between edits, so that a section
    // rendered as the loaded bytes is caught still rendered so once edited.
    TempDir dir;
    const std::string path = dir.File("ENTITY.DAT");
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        const int sectionNames = seed == 3 ? 40 : 5;
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        auto name = [&](const char* stem, int n) {
            std::string s = stem + std::to_string(pick(n));
            if (rng() & 1)
                for (auto& c : s)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return s;
        };
        Model model;
        auto file = FromText("[Seed]\nk0=start\nplain line\n[seed]\nk0=dup\n");
        model.Sections = file->Sections();
        for (int step = 0; step < 3000; ++step) {
            const std::string sec = name("sec", sectionNames);
            const std::string key = name("k", 6);
            switch (pick(12)) {
            case 0:
            case 1:
            case 2:
            case 3: {
                const std::string value(static_cast<std::size_t>(pick(4) == 0 ? 20000 + pick(5000) : pick(30)),
                                        static_cast<char>('a' + pick(26)));
                file->WriteString(sec, key, value);
                model.Write(sec, key, value);
                break;
            }
            case 4:
            case 5:
                file->DeleteKey(sec, key);
                model.Delete(sec, key);
                break;
            case 6:
                file->EraseSection(sec);
                model.Erase(sec);
                break;
            case 7: {
                // Seldom, so that rewritten bytes still pile up between loads.
                if (pick(10) != 0) {
                    ASSERT_EQ(file->ReadString(sec, key, "<none>"), model.Read(sec, key)) << seed << "/" << step;
                    break;
                }
                // The image as it is (as a save reloads it), or noisy; read
                // from a file, given as text, or given as lines.
                const std::string text = Rendered(model.Sections, pick(2) ? &rng : nullptr);
                switch (pick(3)) {
                case 0:
                    WriteBytes(path, text);
                    file = std::make_unique<TRequestFile>(path);
                    break;
                case 1: file->SetText(text); break;
                default: file->SetStrings(Image(*FromText(text)));
                }
                model.Sections = file->Sections();
                break;
            }
            default: ASSERT_EQ(file->ReadString(sec, key, "<none>"), model.Read(sec, key)) << seed << "/" << step;
            }
            if (step % 5 == 0) {
                ASSERT_EQ(file->Text(), Rendered(model.Sections)) << seed << "/" << step;
            }
            if (step % 50 == 0) {
                ASSERT_TRUE(SameSections(file->Sections(), model.Sections)) << seed << "/" << step;
            }
        }
        ASSERT_TRUE(SameSections(file->Sections(), model.Sections)) << seed;
        auto reloaded = FromText(file->Text());
        EXPECT_TRUE(SameSections(reloaded->Sections(), model.Sections)) << seed;
    }
}

// ---- hostile and damaged files ----------------------------------------------

namespace {

std::string Today()
{
    char date[16] = "";
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return date;
}

fs::perms ModeOf(const std::string& path)
{
    return fs::status(path).permissions() & fs::perms::all;
}

// Loads Path in a child process, so that a load that blocks cannot hang the
// test: "refused" when the load raised EFOpenError, else what happened.
std::string LoadInChild(const std::string& path)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        char outcome = 'L';
        try {
            TRequestFile f(path);
        } catch (const EFOpenError&) {
            outcome = 'R';
        } catch (...) {
            outcome = 'X';
        }
        [[maybe_unused]] const auto n = ::write(pipeFds[1], &outcome, 1);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string result = "blocked";
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(child, nullptr, WNOHANG) == child) {
            char outcome = 0;
            result = ::read(pipeFds[0], &outcome, 1) == 1 ? (outcome == 'R'   ? "refused"
                                                             : outcome == 'L' ? "loaded"
                                                                              : "other")
                                                          : "died";
            break;
        }
        ::usleep(50 * 1000);
    }
    if (result == "blocked") {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    ::close(pipeFds[0]);
    return result;
}

} // namespace

// Only a regular file is read as a data file: a planted pipe would hold the
// start for ever, a link to a device would fill memory.
TEST(RequestFileHostile, OnlyRegularFilesWithinTheBoundAreRead)
{
    TempDir dir;
    const std::string fifo = dir.File("STORAGE.1.DAT");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string device = dir.File("STORAGE.2.DAT");
    fs::create_symlink("/dev/zero", device);
    const std::string plain = dir.File("STORAGE.3.DAT");
    WriteBytes(plain, "[S]\r\na=1\r\n");
    EXPECT_EQ(LoadInChild(fifo), "refused");
    EXPECT_EQ(LoadInChild(device), "refused");
    EXPECT_EQ(LoadInChild(plain), "loaded");
    try {
        TRequestFile f(device);
        FAIL() << "a device is no data file";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + device);
    }

    // A file past the bound is refused unread, and the message says the bound.
    const std::string big = dir.File("ENTITY.DAT");
    WriteBytes(big, "[S]\r\n");
    fs::resize_file(big, TRequestFile::MaxDataFileSize + 1);
    try {
        TRequestFile f(big);
        FAIL() << "a file larger than any data file must be refused";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "O arquivo de dados " + big
                                             + " tem mais de 64 MB, tamanho que nenhum arquivo de dados da "
                                               "aplicação atinge; ele não foi lido.");
    }
}

// Data files hold the encrypted keys: nobody but their owner may read them,
// whatever mode they were found with and whatever the umask says.
TEST(RequestFileHostile, DataFilesAreForTheirOwnerOnly)
{
    TempDir dir;
    const mode_t oldMask = ::umask(0);
    const std::string fresh = dir.File("STORAGE.1.DAT");
    TRequestFile f(fresh);
    f.WriteString("S", "k", "v");
    f.UpdateFile();
    ::umask(oldMask);
    EXPECT_EQ(ModeOf(fresh), fs::perms::owner_read | fs::perms::owner_write);

    for (const bool changed : {true, false}) {
        SCOPED_TRACE(changed ? "changed" : "unchanged");
        const std::string open = dir.File(changed ? "ENTITY.DAT" : "STORAGE.2.DAT");
        WriteBytes(open, "[S]\r\nk=v\r\n\r\n");
        fs::permissions(open, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read
                                  | fs::perms::others_read);
        TRequestFile g(open);
        if (changed)
            g.WriteString("S", "k", "w");
        g.UpdateFile();
        EXPECT_EQ(ModeOf(open), fs::perms::owner_read | fs::perms::owner_write);
    }
}

// A NUL ends the reading as the format says; the first save over such a
// file keeps the original beside it, under a name that says what it is.
TEST(RequestFileDamage, FirstSaveKeepsTheOriginalAsideOnce)
{
    TempDir dir;
    const std::string path = dir.File("STORAGE.3.DAT");
    const std::string original = "[S]\r\na=1\r\n\0[T]\r\nkeys=lost\r\n"s;
    WriteBytes(path, original);
    // A copy from earlier the same day is never replaced.
    const std::string earlier = path + ".danificado-" + Today();
    WriteBytes(earlier, "earlier");

    TRequestFile f(path);
    EXPECT_TRUE(f.StoppedEarly());
    EXPECT_EQ(f.DamagedCopy(), "");
    EXPECT_EQ(f.Sections().size(), 1u);

    // When the copy cannot be made, the only copy is not saved over.
    auto writer = std::make_shared<FailingWriter>(0);
    f.SetWriter(writer);
    EXPECT_THROW(f.UpdateFile(), EWriteError);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(f.DamagedCopy(), "");
    f.SetWriter(nullptr);

    f.UpdateFile();
    const std::string copy = earlier + "-2";
    EXPECT_EQ(f.DamagedCopy(), copy);
    EXPECT_EQ(ReadBytes(copy), original);
    EXPECT_EQ(ModeOf(copy), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadBytes(earlier), "earlier");
    EXPECT_EQ(ReadBytes(path), "[S]\r\na=1\r\n\r\n");

    // Once only: later saves write the file alone.
    f.WriteString("S", "b", "2");
    f.UpdateFile();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 3);
    TRequestFile again(path);
    EXPECT_FALSE(again.StoppedEarly());

    // A file without a NUL is not damaged, and neither is a missing one.
    EXPECT_FALSE(TRequestFile(dir.File("none.dat")).StoppedEarly());
    EXPECT_TRUE(FromText("[S]\r\n\0"s)->StoppedEarly());
    EXPECT_FALSE(FromText("[S]\r\nk=v")->StoppedEarly());
}

// Many files saved together: whatever fails midway, each file is its old
// version or its new one, whole; each failure is its file's own, and no
// temporary stays behind.
TEST(RequestFileDisk, SavingManyTogetherLeavesEachFileOldOrNewWhole)
{
    TempDir dir;
    const std::string fresh(1000, 'n');
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        paths.push_back(dir.File("STORAGE." + std::to_string(i) + ".DAT"));
        WriteBytes(paths.back(), i < 5 ? "old " + std::to_string(i) : fresh);
    }
    fs::permissions(paths[0], fs::perms::others_read, fs::perm_options::add);
    struct stat held {};
    ::stat(paths[5].c_str(), &held);
    testsupport::FailingDisk disk(2500); // full in the middle of the third file
    BatchFileWriter batch(disk);
    std::atomic<int> toldSaved[6] = {};
    for (std::size_t i = 0; i < paths.size(); ++i)
        batch.Add(
            paths[i], [&] { return fresh; }, i < 5, // the last already holds its bytes
            [&toldSaved, i] { ++toldSaved[i]; });
    const auto failures = batch.Run();
    ASSERT_EQ(failures.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(i);
        const bool saved = i < 2 || i == 5;
        EXPECT_EQ(ReadBytes(paths[i]), saved ? fresh : "old " + std::to_string(i));
        EXPECT_EQ(toldSaved[i], saved ? 1 : 0);
        if (saved)
            EXPECT_FALSE(failures[i]);
        else
            EXPECT_THROW(std::rethrow_exception(failures[i]), EWriteError);
    }
    EXPECT_EQ(ModeOf(paths[0]), fs::perms::owner_read | fs::perms::owner_write);
    struct stat after {};
    ::stat(paths[5].c_str(), &after);
    EXPECT_EQ(after.st_ino, held.st_ino);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 6);

    // Data files saved together: a damaged one keeps its original aside
    // first, one that cannot be saved keeps its edit for the next save.
    const std::string damaged = dir.File("STORAGE.7.DAT");
    WriteBytes(damaged, "[S]\r\na=1\r\n\0lost"s);
    TRequestFile first(paths[2]), second(damaged), lost(dir.File("none/STORAGE.8.DAT"));
    for (TRequestFile* file : {&first, &second, &lost})
        file->WriteString("Fingerprint", "Value", "F");
    const auto results = TRequestFile::UpdateFiles({&first, &second, &lost});
    EXPECT_FALSE(results[0]);
    EXPECT_FALSE(results[1]);
    EXPECT_THROW(std::rethrow_exception(results[2]), EFCreateError);
    EXPECT_EQ(ReadBytes(paths[2]), first.Text());
    EXPECT_EQ(ReadBytes(damaged), second.Text());
    EXPECT_EQ(ReadBytes(second.DamagedCopy()), "[S]\r\na=1\r\n\0lost"s);
    fs::create_directory(dir.File("none"));
    lost.UpdateFile();
    EXPECT_EQ(ReadBytes(dir.File("none/STORAGE.8.DAT")), lost.Text());
}

// The stamp at exit changes one value in each storage file: even a change
// that fits in one sector is saved whole through the safe replace (a new
// file, flushed, renamed over the old one), never written over the file
// itself: a power cut may tear a whole 4 KiB unit of a device, which holds
// key hex. A second name keeps the old text, a link stays a link, and the
// file becomes owner-only, as with any save.
TEST(RequestFileDisk, AChangeWithinOneSectorIsSavedWholeLikeAnyOther)
{
    TempDir dir;
    // The value starts 503 bytes in: its first bytes lie in the first
    // sector, its last ones in the second.
    const std::string text = "[General]\r\nPad=" + std::string(480, 'p') + "\r\nValue=AAAAAAAAAAAAAAAA\r\n\r\n";
    enum class Setup { None, SecondName, LoadedThroughLink, RewrittenAfterLoad };
    const struct {
        const char* what;
        std::string value;
        Setup setup;
    } cases[] = {
        {"one sector", "BBBBAAAAAAAAAAAA", Setup::None},
        {"across two sectors", "BAAAAAAAAAAAAAAB", Setup::None},
        {"another length", "BBB", Setup::None},
        {"a second name", "BBBBAAAAAAAAAAAA", Setup::SecondName},
        {"loaded through a link", "BBBBAAAAAAAAAAAA", Setup::LoadedThroughLink},
        {"rewritten after the load", "BBBBAAAAAAAAAAAA", Setup::RewrittenAfterLoad},
    };
    const auto inode = [](const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_ino;
    };
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        fs::create_directory(dir.File(std::to_string(i)));
        paths.push_back(dir.File(std::to_string(i) + "/STORAGE.1.DAT"));
        WriteBytes(paths.back(), text);
        fs::permissions(paths.back(), fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
        if (cases[i].setup == Setup::SecondName)
            fs::create_hard_link(paths.back(), paths.back() + ".other");
        if (cases[i].setup == Setup::LoadedThroughLink)
            fs::create_symlink(paths.back(), paths.back() + ".link");
    }
    // Files written just before a load are not trusted to be as loaded.
    std::this_thread::sleep_for(std::chrono::milliseconds(60));

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.what);
        const std::string& path = paths[i];
        const auto before = inode(path);
        TRequestFile f(c.setup == Setup::LoadedThroughLink ? path + ".link" : path);
        f.WriteString("General", "Value", c.value);
        if (c.setup == Setup::RewrittenAfterLoad)
            WriteBytes(path, std::string(text).replace(503, 4, "CCCC"));
        const auto failures = TRequestFile::UpdateFiles({&f});
        ASSERT_FALSE(failures[0]);
        EXPECT_EQ(ReadBytes(path), f.Text());
        EXPECT_NE(inode(path), before);
        EXPECT_EQ(ModeOf(path), fs::perms::owner_read | fs::perms::owner_write);
        const bool twoNames = c.setup == Setup::SecondName || c.setup == Setup::LoadedThroughLink;
        EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(path).parent_path()), fs::directory_iterator()),
                  twoNames ? 2 : 1);
        if (c.setup == Setup::SecondName) {
            EXPECT_EQ(ReadBytes(path + ".other"), text);
        }
        if (c.setup == Setup::LoadedThroughLink) {
            EXPECT_TRUE(fs::is_symlink(path + ".link"));
        }
    }

    // A change whose write fails leaves the old bytes, and is reported as
    // the whole save's failure is.
    const std::string& path = paths[0];
    const std::string now = ReadBytes(path);
    const std::string image = std::string(now).replace(503, 4, "DDDD");
    testsupport::FailingDisk full(0);
    BatchFileWriter failing(full);
    failing.Add(
        path, [&] { return image; }, true);
    EXPECT_THROW(std::rethrow_exception(failing.Run()[0]), EWriteError);
    EXPECT_EQ(ReadBytes(path), now);
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(path).parent_path()), fs::directory_iterator()), 1);
    const auto before = inode(path);
    BatchFileWriter batch;
    batch.Add(
        path, [&] { return image; }, true);
    EXPECT_FALSE(batch.Run()[0]);
    EXPECT_EQ(ReadBytes(path), image);
    EXPECT_NE(inode(path), before);
}

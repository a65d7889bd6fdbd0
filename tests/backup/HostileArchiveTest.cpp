// Archives made to hurt the reader: volume sets that lead back into
// themselves, names that drive terminals, links planted in the destination,
// targets that change while they are restored, and the volume limit the
// writer must keep.
#include "backup/ArchiveFormat.h"
#include "backup/ArchiveVolumes.h"
#include "backup/TBackupFile.h"

#include "ArchiveBuilder.h"
#include "ArchiveReader.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string Sig("EC2\0", 4);

std::string ReadAll(const fs::path& p)
{
    return archivecheck::Slurp(p.string());
}

void WriteAll(const fs::path& p, const std::string& bytes)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::string RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng());
    return s;
}

class HostileArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = tmp.Path();
        dst = root / "dst";
        fs::create_directories(dst);
    }

    // Headless; records errors; stops any run that restores absurdly much,
    // so that a reader that loops fails the test instead of hanging it.
    void Guard(TBackupFile& b)
    {
        b.OnError = [this](TBackupFile*, std::int32_t code, const std::string&) { errors.push_back(code); };
        b.OnProgress = [this](TBackupFile* s, const std::string&, TPercentage, bool& go) {
            if (s->ProcessedSize() > 50'000'000) {
                runaway = true;
                go = false;
            }
        };
    }

    testsupport::TempFolder tmp{"qvhostile"};
    fs::path root, dst;
    std::vector<std::int32_t> errors;
    bool runaway = false;
};

TEST_F(HostileArchiveTest, VolumesMustFollowOneAnotherInOrder)
{
    const std::string piece(1000, 'v');
    const std::string first =
        Builder().Header(3000, 1).Entry("/x/storage.1.dat").RawChunk(piece).Int(0).Str("NEXT:DISK002").b;
    struct Case {
        const char* name;
        std::string second, third;
        bool thirdIsLinkToSecond;
    };
    const std::vector<Case> cases = {
        {"second points at itself", Builder().Raw(Sig).RawChunk(piece).Int(0).Str("NEXT:DISK002").b, "", false},
        {"second points back at the first", Builder().Raw(Sig).RawChunk(piece).Int(0).Str("NEXT:DISK001").b, "", false},
        {"second skips a number", Builder().Raw(Sig).RawChunk(piece).Int(0).Str("NEXT:DISK004").b,
         Builder().Raw(Sig).RawChunk(piece).Int(0).Int(0).b, false},
        // The third volume is the second under another name, and the second
        // asks for the third.
        {"third is the second again", Builder().Raw(Sig).RawChunk(piece).Int(0).Str("NEXT:DISK003").b, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root / "set");
        WriteAll(root / "set" / "copia.bkp", first);
        WriteAll(root / "set" / "copia.002", c.second);
        if (!c.third.empty()) {
            WriteAll(root / "set" / "copia.003", c.third);
            WriteAll(root / "set" / "copia.004", c.third);
        }
        if (c.thirdIsLinkToSecond)
            fs::create_symlink("copia.002", root / "set" / "copia.003");
        for (bool examine : {false, true}) {
            errors.clear();
            runaway = false;
            TBackupFile r;
            Guard(r);
            int asked = 0;
            r.OnNeedDisk = [&](TBackupFile*, std::uint16_t, bool& go) { go = ++asked < 20; };
            std::vector<TArchiveEntryInfo> entries;
            const bool ok = examine ? r.Examine((root / "set" / "copia.bkp").string(), entries)
                                    : r.Restore((root / "set" / "copia.bkp").string(), dst.string());
            EXPECT_FALSE(ok) << "examine " << examine;
            EXPECT_FALSE(runaway) << "examine " << examine;
            EXPECT_LE(asked, 2) << "examine " << examine;
            EXPECT_EQ(errors, std::vector<std::int32_t>{1}) << "examine " << examine;
        }
        // The file whose volumes never came together is not written.
        EXPECT_FALSE(fs::exists(dst / "STORAGE.1.DAT"));
        EXPECT_TRUE(fs::is_empty(dst));
    }
}

TEST_F(HostileArchiveTest, NamesWithControlCharactersAreRefusedAndShownEscaped)
{
    // Literals split where a hex escape must end: kept out of the formatter.
    // clang-format off
    const std::vector<std::string> hostile = {"c:\\q\\\x1b]0;owned\x07" "entity.dat", std::string("/x/storage.1.dat\0", 17),
                                              "/x/line\nbreak.dat", "/x/del\x7f.dat"};
    // clang-format on
    Builder a;
    a.Header(10, 5);
    for (const auto& n : hostile)
        a.Entry(n).RawChunk("bad").Int(0);
    a.Entry("/x/good.dat").RawChunk("good").Int(0).Int(0);
    WriteAll(root / "n.bkp", a.b);
    for (bool fullPath : {false, true}) {
        SCOPED_TRACE(fullPath);
        errors.clear();
        fs::remove_all(dst);
        fs::create_directories(dst);
        TBackupFile r;
        Guard(r);
        r.RestoreFullPath = fullPath;
        EXPECT_TRUE(r.Restore((root / "n.bkp").string(), dst.string()));
        EXPECT_EQ(r.UnsafeEntries(), hostile);
        std::vector<std::string> written;
        for (const auto& e : fs::recursive_directory_iterator(dst))
            if (e.is_regular_file())
                written.push_back(e.path().filename().string());
        EXPECT_EQ(written, std::vector<std::string>{"good.dat"});
    }

    struct Shown {
        std::string name, printable;
    };
    // clang-format off
    for (const Shown& s : std::vector<Shown>{
             {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},
             {std::string("cut\0short", 9), "cut\\x00short"},
             {"c:\\quorvex\\storage.1.dat", "c:\\quorvex\\storage.1.dat"},
             {"/home/jos\xc3\xa9/entity.dat", "/home/jos\xc3\xa9/entity.dat"}, // UTF-8 stays
             {"caf\xe9.dat", "caf\\xe9.dat"},                                  // a lone single-byte letter
             {"\x9b" "2J", "\\x9b2J"},                                         // a raw C1 introducer
             {"\xc2\x9b" "2J", "\\xc2\\x9b2J"},                                // the same in UTF-8
             {"\x7f", "\\x7f"},
         })
        EXPECT_EQ(ArchiveFormat::PrintableName(s.name), s.printable);
    // clang-format on
}

TEST_F(HostileArchiveTest, LinksPlantedInTheDestinationAreNeverFollowed)
{
    const fs::path outside = root / "outside";
    fs::create_directories(outside);
    WriteAll(outside / "victim", "untouched");
    // A linked folder on the way of a full-path restore.
    fs::create_directories(dst / "q");
    fs::create_directory_symlink(outside, dst / "q" / "sub");
    // A link where a restore of this program once put its temporary file.
    fs::create_symlink(outside / "victim", dst / ".STORAGE.1.DAT.restoring");
    fs::create_symlink(outside / "victim", dst / ".storage.1.dat.restoring");

    Builder a;
    a.Header(20, 2).Entry("c:\\q\\sub\\victim").RawChunk("through the folder link").Int(0);
    a.Entry("c:\\q\\storage.1.dat").RawChunk("through the temporary").Int(0).Int(0);
    WriteAll(root / "l.bkp", a.b);

    TBackupFile full;
    Guard(full);
    full.RestoreFullPath = true;
    EXPECT_TRUE(full.Restore((root / "l.bkp").string(), dst.string()));
    EXPECT_EQ(full.UnsafeEntries(), std::vector<std::string>{"c:\\q\\sub\\victim"});

    TBackupFile plain;
    Guard(plain);
    EXPECT_TRUE(plain.Restore((root / "l.bkp").string(), dst.string()));
    EXPECT_EQ(ReadAll(dst / "STORAGE.1.DAT"), "through the temporary");
    EXPECT_EQ(ReadAll(outside / "victim"), "untouched");
    EXPECT_EQ(ReadAll(dst / "q" / "STORAGE.1.DAT"), "through the temporary");
    EXPECT_TRUE(errors.empty());

    // The writing side: a link put where a volume's reserved name was is
    // never followed: the volume is written through the file it created.
    {
        struct LinkSwapper : TBackupFile {
            fs::path Victim;
            std::unique_ptr<std::ostream> CreateVolume(const std::string& path, int fd) override
            {
                fs::remove(path);
                fs::create_symlink(Victim, path);
                return TBackupFile::CreateVolume(path, fd);
            }
        } swapped;
        swapped.Victim = outside / "victim";
        Guard(swapped);
        WriteAll(root / "swap.txt", "through the reserved name");
        swapped.Backup({(root / "swap.txt").string()}, (root / "swap.bkp").string());
        EXPECT_EQ(ReadAll(outside / "victim"), "untouched");
    }

    // A link planted on the medium under the name of a later volume: the
    // volume takes the name, the file it pointed at stays as it was.
    const std::string data = RandomBytes(60000, 7); // incompressible: several volumes
    WriteAll(root / "src" / "f.bin", data);
    fs::create_directories(root / "medium");
    fs::create_symlink(outside / "victim", root / "medium" / "copia.002");
    fs::create_symlink("../outside/victim", root / "medium" / "copia.003");
    TBackupFile b;
    Guard(b);
    b.MaxSize = 20000;
    ASSERT_TRUE(b.Backup({(root / "src" / "f.bin").string()}, (root / "medium" / "copia.bkp").string()));
    EXPECT_EQ(ReadAll(outside / "victim"), "untouched");
    for (const char* volume : {"copia.002", "copia.003"}) {
        EXPECT_FALSE(fs::is_symlink(root / "medium" / volume)) << volume;
        EXPECT_TRUE(fs::is_regular_file(root / "medium" / volume)) << volume;
    }
    const auto written = archivecheck::Read((root / "medium" / "copia.bkp").string());
    ASSERT_EQ(written.Entries.size(), 1u);
    EXPECT_TRUE(written.Entries[0].Data == data);
}

TEST_F(HostileArchiveTest, ReplacedFilesCanBeWipedBeforeTheyAreLetGo)
{
    WriteAll(root / "w.bkp", Builder().Header(3, 1).Entry("/x/storage.1.dat").RawChunk("new").Int(0).Int(0).b);
    for (bool wipe : {false, true}) {
        WriteAll(dst / "STORAGE.1.DAT", "old secret key");
        // A descriptor kept open on the old version shows what becomes of its
        // bytes (another name would keep them: someone's own file is never
        // wiped).
        const int old = ::open((dst / "STORAGE.1.DAT").c_str(), O_RDONLY);
        ASSERT_GE(old, 0);
        TBackupFile r;
        Guard(r);
        r.WipeReplacedFiles = wipe;
        ASSERT_TRUE(r.Restore((root / "w.bkp").string(), dst.string()));
        EXPECT_EQ(ReadAll(dst / "STORAGE.1.DAT"), "new");
        EXPECT_EQ(ReadAll("/proc/self/fd/" + std::to_string(old)), wipe ? std::string(14, '\0') : "old secret key")
            << wipe;
        ::close(old);
    }
    // Nothing of the restore is left beside the data.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dst))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"STORAGE.1.DAT"});
}

// Restored files go into place on a thread of their own while the next one
// is read; the restore must still see each in place before it resolves a
// name that could meet it, and stop at the first that cannot go in.
TEST_F(HostileArchiveTest, EachRestoredFileIsInPlaceBeforeANameMeetsItAndAFailedOneEndsTheRestore)
{
    // A file, then an entry that would need it to be a folder: skipped, as
    // when the file was there before.
    WriteAll(
        root / "f.bkp",
        Builder().Header(9, 2).Entry("/x/d").RawChunk("file d").Int(0).Entry("/x/D/f").RawChunk("f").Int(0).Int(0).b);
    TBackupFile full;
    Guard(full);
    full.RestoreFullPath = true;
    EXPECT_TRUE(full.Restore((root / "f.bkp").string(), dst.string()));
    EXPECT_EQ(ReadAll(dst / "x" / "d"), "file d");
    EXPECT_EQ(full.ProcessedFiles(), 1);
    EXPECT_TRUE(errors.empty());
    fs::remove_all(dst / "x");

    // The first file's target becomes a folder before it can replace it:
    // the files after it are not put in place either.
    WriteAll(root / "g.bkp", Builder()
                                 .Header(9, 3)
                                 .Entry("/x/a")
                                 .RawChunk("a")
                                 .Int(0)
                                 .Entry("/x/b")
                                 .RawChunk("b")
                                 .Int(0)
                                 .Entry("/x/c")
                                 .RawChunk("c")
                                 .Int(0)
                                 .Int(0)
                                 .b);
    TBackupFile r;
    Guard(r);
    r.OnFileRestored = [&](TBackupFile*, std::string& name, std::ostream&) {
        if (name == (dst / "a").string())
            WriteAll(dst / "a" / "inside", "someone's");
    };
    EXPECT_FALSE(r.Restore((root / "g.bkp").string(), dst.string()));
    EXPECT_EQ(errors, std::vector<std::int32_t>{TBackupFile::errCannotReadFile});
    EXPECT_EQ(r.ProcessedFiles(), 0);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dst))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"a"});
    EXPECT_EQ(ReadAll(dst / "a" / "inside"), "someone's");
}

// The client's restore puts the data files in place together or not at all:
// a registry from the archive beside storage files of the folder would pair
// entities with keys that are not theirs.
TEST_F(HostileArchiveTest, AllOrNothingRestoreChangesNothingUnlessTheWholeArchiveIsRead)
{
    const std::map<std::string, std::string> before = {{"ENTITY.DAT", "old registry"},
                                                       {"STORAGE.1.DAT", "old storage 1"}};
    const auto folder = [this] {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dst))
            files[e.path().filename().string()] = fs::is_regular_file(e.path()) ? ReadAll(e.path()) : "<folder>";
        return files;
    };
    const auto whole = [](Builder& a) -> Builder& {
        return a.Header(40, 3)
            .Entry("c:\\q\\entity.dat")
            .RawChunk("new registry")
            .Int(0)
            .Entry("c:\\q\\storage.1.dat")
            .RawChunk("new storage 1")
            .Int(0)
            .Entry("c:\\q\\storage.2.dat")
            .RawChunk("new storage 2")
            .Int(0);
    };
    // The folder as it was, the archive beside it.
    const auto prepare = [&](const Builder& a) {
        fs::remove_all(dst);
        fs::create_directories(dst);
        for (const auto& [name, bytes] : before)
            WriteAll(dst / name, bytes);
        WriteAll(root / "a.bkp", a.b);
        errors.clear();
    };
    const auto configure = [this](TBackupFile& r) {
        Guard(r);
        r.RestoreAllOrNothing = true;
        r.WipeReplacedFiles = true;
    };
    // A disk whose free space the test sets (-1: the real one).
    struct Disk : TBackupFile {
        std::int64_t Free = -1;
        std::int64_t AvailableBytes(const std::string& Folder) override
        {
            return Free < 0 ? TBackupFile::AvailableBytes(Folder) : Free;
        }
    };
    struct Case {
        const char* name;
        std::function<void(Builder&)> build;
        std::function<void(Disk&)> setUp;
        bool raises;
        std::int32_t error; // the error reported; 0: any
    };
    // Files each within the per-file bound, together far past the total.
    const auto manyFiles = [&](Builder& a, int files) {
        whole(a);
        for (int f = 3; f < 3 + files; ++f) {
            a.Entry("c:\\q\\storage." + std::to_string(f) + ".dat");
            for (int i = 0; i < 5; ++i)
                a.ZChunk(std::string(16384, '\0'));
            a.Int(0);
        }
        a.Int(0);
    };
    const std::vector<Case> cases = {
        {"a damaged chunk in the last file",
         [](Builder& a) {
             a.Header(40, 3).Entry("c:\\q\\entity.dat").RawChunk("new registry").Int(0);
             a.Entry("c:\\q\\storage.1.dat").RawChunk("new storage 1").Int(0);
             a.Entry("c:\\q\\storage.2.dat").Int(5).Raw("abcde").Int(0).Int(0);
         },
         {},
         false,
         0},
        {"no final 0 (truncated)", [&](Builder& a) { whole(a); }, {}, false, 0},
        {"a damaged entry that is only skipped raises",
         [&](Builder& a) { whole(a).Str("FILE:LIST").Int(0).Raw("XYZ\0").Int(0).Int(0); },
         {},
         true,
         0},
        {"stopped after the second file", [&](Builder& a) { whole(a).Int(0); },
         [](TBackupFile& r) {
             r.OnFileRestored = [](TBackupFile* self, std::string& name, std::ostream&) {
                 if (name.find("STORAGE.1.DAT") != std::string::npos)
                     self->Stop();
             };
         },
         false, 0},
        {"a file larger than the client can load (inflating without end)",
         [&](Builder& a) {
             whole(a).Entry("c:\\q\\storage.3.dat");
             for (int i = 0; i < 64; ++i)
                 a.ZChunk(std::string(16384, '\0'));
             a.Int(0).Int(0);
         },
         [](TBackupFile& r) { r.MaxRestoredFileSize = 100000; }, false, TBackupFile::errCannotReadFile},
        {"many files each within its bound, together past the total bound", [&](Builder& a) { manyFiles(a, 20); },
         [](TBackupFile& r) {
             r.MaxRestoredFileSize = 100000;
             r.MaxRestoredTotalSize = 300000;
         },
         false, TBackupFile::errCannotReadFile},
        {"an archive whose stated total does not fit the free space", [&](Builder& a) { whole(a).Int(0); },
         [](Disk& r) { r.Free = TBackupFile::FreeSpaceReserve + 39; }, false, TBackupFile::errNoSpace},
        {"more than the free space, though the header states little", [&](Builder& a) { manyFiles(a, 20); },
         [](Disk& r) { r.Free = TBackupFile::FreeSpaceReserve + 200000; }, false, TBackupFile::errNoSpace},
        {"a rename that fails part way: the ones before are put back", [&](Builder& a) { whole(a).Int(0); },
         [this](TBackupFile& r) {
             // STORAGE.1.DAT becomes a folder before the files go in.
             r.OnFileRestored = [this](TBackupFile*, std::string& name, std::ostream&) {
                 if (name.find("STORAGE.2.DAT") != std::string::npos) {
                     fs::remove(dst / "STORAGE.1.DAT");
                     fs::create_directories(dst / "STORAGE.1.DAT" / "inside");
                 }
             };
         },
         false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Builder a;
        c.build(a);
        prepare(a);
        Disk r;
        configure(r);
        if (c.setUp)
            c.setUp(r);
        if (c.raises) {
            EXPECT_THROW(r.Restore((root / "a.bkp").string(), dst.string()), EBackupFileError);
        } else {
            EXPECT_FALSE(r.Restore((root / "a.bkp").string(), dst.string()));
        }
        EXPECT_EQ(r.ProcessedFiles(), 0);
        if (c.error != 0) {
            EXPECT_EQ(errors, std::vector<std::int32_t>{c.error});
        }
        // No bound is passed by a byte written.
        if (r.MaxRestoredTotalSize > 0) {
            EXPECT_LE(r.ProcessedSize(), r.MaxRestoredTotalSize);
        }
        if (r.Free >= 0) {
            EXPECT_LE(r.ProcessedSize(), r.Free - TBackupFile::FreeSpaceReserve);
        }
        auto expected = before;
        if (fs::is_directory(dst / "STORAGE.1.DAT"))
            expected["STORAGE.1.DAT"] = "<folder>";
        // Every file as it was, nothing new, no temporary left beside them.
        EXPECT_EQ(folder(), expected);
    }

    // Read whole: all in place, a name archived twice restored once (the
    // later one), the replaced versions wiped.
    Builder a;
    whole(a).Entry("/x/STORAGE.1.DAT").RawChunk("newer storage 1").Int(0).Int(0);
    prepare(a);
    const int old = ::open((dst / "STORAGE.1.DAT").c_str(), O_RDONLY);
    ASSERT_GE(old, 0);
    TBackupFile r;
    configure(r);
    EXPECT_TRUE(r.Restore((root / "a.bkp").string(), dst.string()));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(r.ProcessedFiles(), 3);
    EXPECT_EQ(folder(), (std::map<std::string, std::string>{{"ENTITY.DAT", "new registry"},
                                                            {"STORAGE.1.DAT", "newer storage 1"},
                                                            {"STORAGE.2.DAT", "new storage 2"}}));
    EXPECT_EQ(ReadAll("/proc/self/fd/" + std::to_string(old)), std::string(13, '\0'));
    ::close(old);
}

TEST_F(HostileArchiveTest, NoVolumeGrowsPastMaxSize)
{
    const std::string data = RandomBytes(120000, 21); // incompressible: full-size chunks
    WriteAll(root / "src" / "f.bin", data);
    struct Case {
        std::int32_t maxSize;
        std::size_t titleLength;
    };
    for (const Case& c : std::vector<Case>{{20000, 3996}, {20000, 0}, {16600, 40}, {40000, 23000}, {50000, 100}}) {
        SCOPED_TRACE(std::to_string(c.maxSize) + " / " + std::to_string(c.titleLength));
        fs::remove_all(root / "v");
        fs::create_directories(root / "v");
        TBackupFile b;
        Guard(b);
        b.MaxSize = c.maxSize;
        b.BackupTitle = std::string(c.titleLength, 't');
        const std::string arc = (root / "v" / "copia.bkp").string();
        ASSERT_TRUE(b.Backup({(root / "src" / "f.bin").string()}, arc));
        const std::size_t header = 12 + c.titleLength;
        int volumes = 0;
        for (const auto& e : fs::directory_iterator(root / "v")) {
            ++volumes;
            // A title longer than the volume is the one thing that cannot fit.
            EXPECT_LE(fs::file_size(e.path()), std::max<std::size_t>(static_cast<std::size_t>(c.maxSize), header + 100))
                << e.path().filename();
        }
        EXPECT_GE(volumes, 2);
        const auto a = archivecheck::Read(arc);
        ASSERT_EQ(a.Entries.size(), 1u);
        EXPECT_TRUE(a.Entries[0].Data == data);
        EXPECT_TRUE(a.Terminated);
    }

    // Long names: a full chunk that starts just below the mark, followed by
    // the next entry's long name, must not push the volume over either.
    fs::path deep = root / "src";
    for (int i = 0; i < 13; ++i)
        deep /= std::string(240, static_cast<char>('a' + i));
    const std::string one = RandomBytes(16384, 22);
    WriteAll(deep / "a.bin", one);
    WriteAll(deep / "b.bin", "tail");
    fs::remove_all(root / "v");
    fs::create_directories(root / "v");
    TBackupFile b;
    Guard(b);
    b.MaxSize = 20000;
    const std::string arc = (root / "v" / "copia.bkp").string();
    ASSERT_TRUE(b.Backup({(deep / "a.bin").string(), (deep / "b.bin").string()}, arc));
    for (const auto& e : fs::directory_iterator(root / "v"))
        EXPECT_LE(fs::file_size(e.path()), 20000u) << e.path().filename();
    const auto a = archivecheck::Read(arc);
    ASSERT_EQ(a.Entries.size(), 2u);
    EXPECT_TRUE(a.Entries[0].Data == one);
    EXPECT_EQ(a.Entries[1].Data, "tail");
    EXPECT_TRUE(errors.empty());
}

} // namespace

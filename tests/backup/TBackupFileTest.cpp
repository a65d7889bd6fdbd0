#include "backup/RestorePolicy.h"
#include "backup/TBackupFile.h"

#include "ArchiveBuilder.h"
#include "ArchiveReader.h"

#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <streambuf>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p)
{
    return archivecheck::Slurp(p.string());
}

void WriteAll(const fs::path& p, const std::string& bytes)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string HexText(std::size_t n, unsigned seed)
{
    static const char digits[] = "0123456789ABCDEF";
    std::mt19937 rng(seed);
    std::string s;
    s.reserve(n);
    while (s.size() < n) {
        s += digits[rng() & 15];
        if (s.size() % 64 == 63)
            s += '\n';
    }
    s.resize(n);
    return s;
}

std::string RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng());
    return s;
}

std::string LowerPath(const fs::path& p)
{
    std::string s = p.string();
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A volume on a medium that fills up: the bytes go to the file the archive
// asked for until `limit` of them have gone through; then every write fails.
class FailingBuf : public std::streambuf {
public:
    FailingBuf(std::size_t limit, const std::string& path) : left(limit), file(path, std::ios::binary | std::ios::trunc)
    {
    }

protected:
    int overflow(int ch) override
    {
        if (ch == traits_type::eof())
            return 0;
        const char c = static_cast<char>(ch);
        return xsputn(&c, 1) == 1 ? ch : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        const auto take = static_cast<std::streamsize>(std::min<std::size_t>(left, static_cast<std::size_t>(n)));
        file.write(s, take);
        file.flush();
        left -= static_cast<std::size_t>(take);
        return take;
    }

private:
    std::size_t left;
    std::ofstream file;
};

class FailingBackup : public TBackupFile {
public:
    explicit FailingBackup(std::size_t Limit) : limit(Limit) {}

protected:
    std::unique_ptr<std::ostream> CreateVolume(const std::string& path, int) override
    {
        bufs.push_back(std::make_unique<FailingBuf>(limit, path));
        return std::make_unique<std::ostream>(bufs.back().get());
    }

private:
    std::size_t limit;
    std::vector<std::unique_ptr<FailingBuf>> bufs;
};

class BackupFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = tmp.Path();
        src = root / "Src";
        dst = root / "dst";
        fs::create_directories(src);
        fs::create_directories(dst);
    }

    // Headless, with every error recorded instead of shown.
    void Watch(TBackupFile& b)
    {
        b.OnError = [this](TBackupFile*, std::int32_t code, const std::string& text) {
            errors.push_back(code);
            errorTexts.push_back(text);
        };
    }

    testsupport::TempFolder tmp{"qvbk"};
    fs::path root, src, dst;
    std::vector<std::int32_t> errors;
    std::vector<std::string> errorTexts;
};

// ---- the format, checked by the independent reader ------------------------

TEST_F(BackupFileTest, EmptyListWritesHeaderAndTerminatorOnly)
{
    TBackupFile b;
    Watch(b);
    b.BackupTitle = "titulo";
    const auto arc = (root / "empty.bkp").string();
    ASSERT_TRUE(b.Backup({}, arc));
    const std::string bytes = ReadAll(arc);
    Builder expect;
    expect.Str("titulo").Int(0).Int(0).Int(0);
    EXPECT_EQ(bytes, expect.b);

    // With the file-ID list on, its (empty) entry is still there.
    b.SaveFileID = true;
    ASSERT_TRUE(b.Backup({}, arc));
    const auto a = archivecheck::Read(arc);
    EXPECT_EQ(a.FileCount, 0);
    EXPECT_EQ(a.TotalSize, 0);
    ASSERT_EQ(a.Entries.size(), 1u);
    EXPECT_EQ(a.Entries[0].Name, "FILE:LIST");
    EXPECT_EQ(a.Entries[0].Data, "");
    EXPECT_TRUE(a.Terminated);
    EXPECT_TRUE(errors.empty());
}

TEST_F(BackupFileTest, TotalSizeBeyondItsFieldIsCappedNotWrapped)
{
    // Sparse, so that 4 GiB + 5 bytes cost no disk; wrapped to 32 bits the
    // total would read as 5 bytes and a reader's percentages run past 100.
    const fs::path huge = src / "huge.bin";
    {
        std::ofstream(huge).put('x');
    }
    fs::resize_file(huge, (std::uintmax_t(1) << 32) + 5);
    TBackupFile b;
    Watch(b);
    b.OnProgress = [](TBackupFile* s, const std::string&, TPercentage, bool&) { s->Stop(); };
    std::stringstream s;
    b.BackupStream = &s;
    EXPECT_FALSE(b.Backup({huge.string()}, TBackupFile::StreamName));
    EXPECT_EQ(b.TotalSize(), INT32_MAX);
    Builder header;
    header.Str("").Int(INT32_MAX).Int(1);
    EXPECT_EQ(s.str().substr(0, header.b.size()), header.b);
}

TEST_F(BackupFileTest, ZeroLengthFileAndRawChunkAtLevelNone)
{
    WriteAll(src / "empty.txt", "");
    WriteAll(src / "full.txt", std::string(16384, 'x') + "tail");
    TBackupFile b;
    Watch(b);
    b.CompressionLevel = clNone;
    const auto arc = (root / "a.bkp").string();
    ASSERT_TRUE(b.Backup({(src / "empty.txt").string(), (src / "full.txt").string()}, arc));
    const std::string bytes = ReadAll(arc);

    // The empty file: name, stamp, "EC2\0", 0 -- laid out byte for byte.
    const std::string name = LowerPath(src / "empty.txt");
    Builder expect;
    expect.Str("")
        .Int(16388)
        .Int(2)
        .Str(name)
        .Int(TBackupFile::FileDosDateTime((src / "empty.txt").string()))
        .Raw(std::string("EC2\0", 4))
        .Int(0);
    EXPECT_EQ(bytes.substr(0, expect.b.size()), expect.b);

    const auto a = archivecheck::Read(arc);
    ASSERT_EQ(a.Entries.size(), 2u);
    EXPECT_TRUE(a.Entries[0].Chunks.empty());
    // A full chunk does not fit stored at level 0: kept raw, negative length.
    ASSERT_EQ(a.Entries[1].Chunks.size(), 2u);
    EXPECT_EQ(a.Entries[1].Chunks[0].Length, -16384);
    EXPECT_EQ(a.Entries[1].Data, std::string(16384, 'x') + "tail");
    EXPECT_EQ(b.ProcessedFiles(), 2);
}

TEST_F(BackupFileTest, EveryLevelWritesIndependentZlibChunksThatRoundTrip)
{
    const std::string data = HexText(100000, 1) + RandomBytes(40000, 2);
    WriteAll(src / "STORAGE.1.DAT", data);
    for (auto level : {clFastest, clNone, clDefault, clMax}) {
        TBackupFile b;
        Watch(b);
        b.CompressionLevel = level;
        const auto arc = (root / "l.bkp").string();
        ASSERT_TRUE(b.Backup({(src / "STORAGE.1.DAT").string()}, arc));
        const auto a = archivecheck::Read(arc);
        ASSERT_EQ(a.Entries.size(), 1u);
        // Collected names are lower-cased; the file itself was read by its real name.
        EXPECT_EQ(a.Entries[0].Name, LowerPath(src / "STORAGE.1.DAT"));
        EXPECT_EQ(a.Entries[0].Data, data) << "level " << level;
        EXPECT_EQ(a.TotalSize, static_cast<std::int32_t>(data.size()));
        for (const auto& c : a.Entries[0].Chunks)
            EXPECT_LE(c.Plain, 16384u);
        // The random tail never compresses: at least one raw chunk there, except
        // that level 0 stores even the hex text raw.
        const bool anyRaw = std::any_of(a.Entries[0].Chunks.begin(), a.Entries[0].Chunks.end(),
                                        [](const archivecheck::Chunk& c) { return c.Length < 0; });
        EXPECT_TRUE(anyRaw);
        if (level != clNone) {
            EXPECT_GT(a.Entries[0].Chunks[0].Length, 0);
        }
        // Byte for byte what zlib makes of each piece at the level's number
        // (compress2 is deflateInit2 with 15 window bits, memory level 8 and
        // the default strategy), or the piece itself when that does not fit.
        static constexpr int zlibLevel[] = {1, 0, Z_DEFAULT_COMPRESSION, 9};
        std::size_t at = 0;
        for (const auto& c : a.Entries[0].Chunks) {
            const std::string piece = data.substr(at, c.Plain);
            at += c.Plain;
            std::string z(compressBound(piece.size()), '\0');
            uLongf n = z.size();
            ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(z.data()), &n, reinterpret_cast<const Bytef*>(piece.data()),
                                piece.size(), zlibLevel[level]),
                      Z_OK);
            z.resize(n);
            if (z.size() <= 16384) {
                EXPECT_GT(c.Length, 0) << "level " << level << " at " << at;
                EXPECT_TRUE(c.Stored == z) << "level " << level << " at " << at;
            } else {
                EXPECT_EQ(c.Length, -static_cast<std::int32_t>(piece.size()));
                EXPECT_TRUE(c.Stored == piece);
            }
        }
        EXPECT_EQ(at, data.size());
    }
}

TEST_F(BackupFileTest, FileIdListDescribesEveryStoredFileAndIsNeverRestored)
{
    WriteAll(src / "ENTITY.DAT", "[Entity1]\r\nx=1\r\n");
    WriteAll(src / "STORAGE.1.DAT", HexText(5000, 3));
    TBackupFile b;
    Watch(b);
    b.SaveFileID = true;
    // The list's temporary goes to a folder of this test alone, so that
    // another test's backup running meanwhile cannot be mistaken for it.
    const fs::path temporaries = root / "tmp";
    fs::create_directory(temporaries);
    const testsupport::ScopedEnvironment tmpdir("TMPDIR", temporaries.string());
    const auto arc = (root / "ids.bkp").string();
    ASSERT_TRUE(b.Backup({(src / "ENTITY.DAT").string(), (src / "STORAGE.*.DAT").string()}, arc));
    const auto a = archivecheck::Read(arc);
    ASSERT_EQ(a.Entries.size(), 3u);
    EXPECT_EQ(a.FileCount, 2);
    EXPECT_EQ(a.Entries[0].Name, "FILE:LIST");
    std::string expected;
    for (const char* n : {"ENTITY.DAT", "STORAGE.1.DAT"}) {
        const auto p = src / n;
        expected += LowerPath(p) + "\t" + std::to_string(TBackupFile::FileDosDateTime(p.string())) + "="
                    + std::to_string(fs::file_size(p)) + "\r\n";
    }
    EXPECT_EQ(a.Entries[0].Data, expected);
    EXPECT_EQ(a.TotalSize, static_cast<std::int32_t>(fs::file_size(src / "ENTITY.DAT") + 5000 + expected.size()));
    EXPECT_EQ(b.ProcessedFiles(), 2);
    // The temporary list is gone.
    ASSERT_EQ(fs::temp_directory_path(), temporaries);
    for (const auto& e : fs::directory_iterator(temporaries))
        EXPECT_NE(e.path().filename().string().rfind("FID", 0), 0u) << e.path();

    TBackupFile r;
    Watch(r);
    std::vector<std::string> offered;
    r.OnRestoreFile = [&](TBackupFile*, std::string& name, std::int32_t, bool&) { offered.push_back(name); };
    ASSERT_TRUE(r.Restore(arc, dst.string()));
    EXPECT_EQ(offered.size(), 2u);
    for (const auto& o : offered)
        EXPECT_EQ(o.find("FILE:LIST"), std::string::npos);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dst))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ENTITY.DAT", "STORAGE.1.DAT"}));
    EXPECT_EQ(r.ProcessedFiles(), 2);
}

// ---- volumes ---------------------------------------------------------------

TEST_F(BackupFileTest, LargeFileContinuesInSecondVolumeAndRestoresAcrossIt)
{
    const std::string big = RandomBytes(1600000, 4); // incompressible: more than one volume
    WriteAll(src / "big.bin", big);
    WriteAll(src / "small.txt", "after the split");
    TBackupFile b;
    Watch(b);
    b.MaxSize = 1400000;
    std::vector<int> asked;
    b.OnNeedDisk = [&](TBackupFile*, std::uint16_t disk, bool&) { asked.push_back(disk); };
    const auto arc = (root / "copia.bkp").string();
    // The volumes hold every encrypted key: each is its owner's alone,
    // whatever the umask, and a volume replaced keeps nothing it granted to
    // others.
    WriteAll(root / "copia.002", "an older volume, readable by all");
    ::chmod((root / "copia.002").c_str(), 0644);
    const mode_t umaskBefore = ::umask(0);
    const bool backedUp = b.Backup({(src / "big.bin").string(), (src / "small.txt").string()}, arc);
    ::umask(umaskBefore);
    ASSERT_TRUE(backedUp);
    EXPECT_EQ(asked, std::vector<int>{2});
    ASSERT_TRUE(fs::exists(root / "copia.002"));
    EXPECT_FALSE(fs::exists(root / "copia.003"));
    for (const char* volume : {"copia.bkp", "copia.002"}) {
        struct stat st {};
        ASSERT_EQ(::stat((root / volume).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << volume;
    }
    // No chunk starts at or beyond MaxSize - 16484.
    EXPECT_LE(fs::file_size(arc), 1400000u);

    const auto a = archivecheck::Read(arc);
    EXPECT_EQ(a.Continuations, std::vector<std::string>{"NEXT:DISK002"});
    ASSERT_EQ(a.Entries.size(), 2u);
    EXPECT_EQ(a.Entries[0].Segments, 2);
    EXPECT_EQ(a.Entries[0].Data, big);
    EXPECT_EQ(a.Entries[1].Data, "after the split");
    EXPECT_TRUE(a.Terminated);

    TBackupFile r;
    Watch(r);
    std::vector<int> rasked;
    r.OnNeedDisk = [&](TBackupFile*, std::uint16_t disk, bool&) { rasked.push_back(disk); };
    ASSERT_TRUE(r.Restore(arc, dst.string()));
    EXPECT_EQ(rasked, std::vector<int>{2});
    EXPECT_EQ(ReadAll(dst / "big.bin"), big);
    EXPECT_EQ(ReadAll(dst / "small.txt"), "after the split");
    EXPECT_EQ(TBackupFile::FileDosDateTime((dst / "big.bin").string()),
              TBackupFile::FileDosDateTime((src / "big.bin").string()));
    EXPECT_TRUE(errors.empty());
}

TEST_F(BackupFileTest, DiskQuestionIsAskedInItsOwnWordsAndCancelEndsTheBackup)
{
    WriteAll(src / "big.bin", RandomBytes(1500000, 5));
    TBackupFile b;
    Watch(b);
    b.MaxSize = 1400000;
    std::vector<std::string> questions;
    b.UiAskOkCancel = [&](const std::string& text) {
        questions.push_back(text);
        return false;
    };
    const auto arc = (root / "copia.bkp").string();
    EXPECT_FALSE(b.Backup({(src / "big.bin").string()}, arc));
    EXPECT_EQ(questions, std::vector<std::string>{"Please insert disk 2 and click OK to continue."});
    EXPECT_FALSE(fs::exists(root / "copia.002"));
    EXPECT_TRUE(errors.empty()); // cancelling is not an error
    EXPECT_FALSE(archivecheck::Read(arc).Terminated);
}

TEST_F(BackupFileTest, MissingVolumeEndsHeadlessRestoreInsteadOfAskingForever)
{
    WriteAll(src / "big.bin", RandomBytes(1500000, 6));
    TBackupFile b;
    b.MaxSize = 1400000;
    const auto arc = (root / "copia.bkp").string();
    ASSERT_TRUE(b.Backup({(src / "big.bin").string()}, arc));
    fs::remove(root / "copia.002");
    TBackupFile r;
    Watch(r);
    EXPECT_FALSE(r.Restore(arc, dst.string()));
    EXPECT_EQ(r.MissingVolume(), 2);
}

TEST_F(BackupFileTest, TinyMaxSizeStillMakesProgress)
{
    const std::string data = RandomBytes(50000, 7);
    WriteAll(src / "f.bin", data);
    TBackupFile b;
    Watch(b);
    b.MaxSize = 100; // below the reserve: every volume would be "full" at once
    const auto arc = (root / "t.bkp").string();
    ASSERT_TRUE(b.Backup({(src / "f.bin").string()}, arc));
    const auto a = archivecheck::Read(arc);
    ASSERT_EQ(a.Entries.size(), 1u);
    EXPECT_EQ(a.Entries[0].Data, data);
    EXPECT_EQ(a.Continuations.size(), 3u);

    // One chunk per volume in all, not one per file: a second file's chunk
    // goes to a volume of its own.
    WriteAll(src / "g.bin", "tail");
    ASSERT_TRUE(b.Backup({(src / "f.bin").string(), (src / "g.bin").string()}, arc));
    const auto two = archivecheck::Read(arc);
    ASSERT_EQ(two.Entries.size(), 2u);
    EXPECT_EQ(two.Entries[1].Data, "tail");
    EXPECT_EQ(two.Continuations.size(), 4u);
}

// ---- restore modes, time stamps, destinations ------------------------------

TEST_F(BackupFileTest, RestoreModesCompareDosTimeStamps)
{
    WriteAll(src / "a.txt", "archived a");
    WriteAll(src / "b.txt", "archived b");
    ASSERT_TRUE(
        TBackupFile::SetFileDosDateTime((src / "a.txt").string(), TBackupFile::DosDateTimeFromTime(1600000000)));
    ASSERT_TRUE(
        TBackupFile::SetFileDosDateTime((src / "b.txt").string(), TBackupFile::DosDateTimeFromTime(1600000000)));
    TBackupFile b;
    Watch(b);
    const auto arc = (root / "m.bkp").string();
    ASSERT_TRUE(b.Backup({(src / "*.txt").string()}, arc));
    const std::int32_t archived = TBackupFile::FileDosDateTime((src / "a.txt").string());

    auto restoreWith = [&](TRestoreMode mode) {
        TBackupFile r;
        Watch(r);
        r.RestoreMode = mode;
        EXPECT_TRUE(r.Restore(arc, dst.string()));
        return r.ProcessedFiles();
    };
    // a.txt exists with the same stamp, b.txt does not exist.
    WriteAll(dst / "a.txt", "local a");
    ASSERT_TRUE(TBackupFile::SetFileDosDateTime((dst / "a.txt").string(), archived));

    EXPECT_EQ(restoreWith(rmNewer), 1); // equal stamp: not newer; b missing: restored
    EXPECT_EQ(ReadAll(dst / "a.txt"), "local a");
    EXPECT_EQ(ReadAll(dst / "b.txt"), "archived b");
    fs::remove(dst / "b.txt");

    EXPECT_EQ(restoreWith(rmExistingNewer), 0); // a equal, b missing
    EXPECT_FALSE(fs::exists(dst / "b.txt"));

    EXPECT_EQ(restoreWith(rmNoOverwrite), 1);
    EXPECT_EQ(ReadAll(dst / "a.txt"), "local a");
    fs::remove(dst / "b.txt");

    EXPECT_EQ(restoreWith(rmExisting), 1);
    EXPECT_EQ(ReadAll(dst / "a.txt"), "archived a");
    EXPECT_FALSE(fs::exists(dst / "b.txt"));

    // An older local copy is replaced by rmExistingNewer.
    WriteAll(dst / "a.txt", "old local");
    ASSERT_TRUE(
        TBackupFile::SetFileDosDateTime((dst / "a.txt").string(), TBackupFile::DosDateTimeFromTime(1500000000)));
    EXPECT_EQ(restoreWith(rmExistingNewer), 1);
    EXPECT_EQ(ReadAll(dst / "a.txt"), "archived a");

    EXPECT_EQ(restoreWith(rmAll), 2);
    // Restored files carry the archived stamps.
    EXPECT_EQ(TBackupFile::FileDosDateTime((dst / "a.txt").string()), archived);
    EXPECT_EQ(TBackupFile::FileDosDateTime((dst / "b.txt").string()), archived);
    EXPECT_TRUE(errors.empty());
}

// An archive of a million entries must not list the folder a million times:
// each folder is listed once, and a name resolved there is remembered, so
// that a later spelling of it meets the file the restore is creating.
TEST(RestorePolicyTest, EachFolderIsListedOnceAndNamesKeepTheirFirstSpelling)
{
    testsupport::TempFolder tmp{"qvpolicy"};
    const std::string folder = tmp.Path();
    WriteAll(fs::path(folder) / "Notes.Txt", "notes");
    RestorePolicy policy(folder, false);
    for (int i = 0; i < 2000; ++i)
        EXPECT_EQ(policy.TargetFor("c:\\x\\new" + std::to_string(i) + ".txt"),
                  folder + "new" + std::to_string(i) + ".txt");
    EXPECT_EQ(policy.TargetFor("/y/NOTES.TXT"), folder + "Notes.Txt");
    EXPECT_EQ(policy.TargetFor("/y/NEW7.TXT"), folder + "new7.txt");
    EXPECT_EQ(policy.FoldersListed(), 1u);
}

TEST(RestorePolicyTest, NewerFollowsTimeAcrossTheSignBitOfTheStamp)
{
    const std::int32_t y2030 = TBackupFile::DosDateTimeFromTime(1900000000);                     // 2030
    const std::int32_t y2050 = static_cast<std::int32_t>((70u << 25) | (1u << 21) | (1u << 16)); // 2050-01-01
    ASSERT_LT(y2050, 0);
    const struct {
        TRestoreMode Mode;
        std::int32_t Archived, Current;
        bool Restore;
    } rows[] = {
        {rmNewer, y2050, y2030, true},          {rmNewer, y2030, y2050, false}, {rmExistingNewer, y2050, y2030, true},
        {rmExistingNewer, y2030, y2050, false}, {rmNewer, y2030, y2030, false}, {rmNewer, y2050, -1, true},
        {rmExistingNewer, y2050, -1, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RestorePolicy::ShouldRestore(row.Mode, row.Archived, row.Current), row.Restore)
            << row.Mode << " " << row.Archived << " " << row.Current;
}

TEST_F(BackupFileTest, DosTimeStampsRoundTripAtTwoSecondResolution)
{
    for (std::int64_t t : {std::int64_t{315532800 + 86400}, std::int64_t{1600000000}, std::int64_t{1700000001}}) {
        const std::int32_t dos = TBackupFile::DosDateTimeFromTime(t);
        EXPECT_EQ(TBackupFile::TimeFromDosDateTime(dos), t - (t % 2 == 0 ? 0 : 1)) << t;
    }
    // Before 1980 there is no DOS date: the earliest one stands in.
    EXPECT_EQ(TBackupFile::DosDateTimeFromTime(0), (1 << 21) | (1 << 16));
}

TEST_F(BackupFileTest, OnRestoreFileMayRenameOrVeto)
{
    WriteAll(src / "keep.txt", "keep");
    WriteAll(src / "veto.txt", "veto");
    TBackupFile b;
    const auto arc = (root / "e.bkp").string();
    ASSERT_TRUE(b.Backup({(src / "*.txt").string()}, arc));
    TBackupFile r;
    Watch(r);
    std::vector<std::string> restored;
    r.OnRestoreFile = [&](TBackupFile*, std::string& name, std::int32_t, bool& doIt) {
        if (name.find("veto") != std::string::npos)
            doIt = false;
        else
            name = (dst / "renamed.txt").string();
    };
    r.OnFileRestored = [&](TBackupFile*, std::string& name, std::ostream&) { restored.push_back(name); };
    ASSERT_TRUE(r.Restore(arc, dst.string()));
    EXPECT_EQ(restored, std::vector<std::string>{(dst / "renamed.txt").string()});
    EXPECT_EQ(ReadAll(dst / "renamed.txt"), "keep");
    EXPECT_FALSE(fs::exists(dst / "veto.txt"));
    EXPECT_FALSE(fs::exists(dst / "keep.txt"));
}

TEST_F(BackupFileTest, DataFilesReplaceTheirUpperCaseNamesWithoutLowerCaseTwins)
{
    WriteAll(src / "ENTITY.DAT", "new registry");
    WriteAll(src / "STORAGE.1.DAT", "new storage 1");
    WriteAll(src / "STORAGE.2.DAT", "new storage 2");
    WriteAll(src / "Notes.Txt", "notes");
    TBackupFile b;
    const auto arc = (root / "d.bkp").string();
    ASSERT_TRUE(
        b.Backup({(src / "ENTITY.DAT").string(), (src / "STORAGE.*.DAT").string(), (src / "notes.txt").string()}, arc));
    EXPECT_EQ(b.ProcessedFiles(), 4);

    WriteAll(dst / "ENTITY.DAT", "old registry");
    WriteAll(dst / "STORAGE.1.DAT", "old storage 1");
    fs::permissions(dst / "STORAGE.1.DAT", fs::perms::owner_read | fs::perms::owner_write);
    WriteAll(dst / "STORAGE.7.DAT", "stays");
    WriteAll(dst / "NOTES.TXT", "old notes");
    // Lower-case twins beside the client's files are never what a data
    // file of the archive replaces: the registry would land in the twin
    // while the storage files replace the real ones.
    WriteAll(dst / "entity.dat", "twin registry");
    WriteAll(dst / "storage.2.dat", "twin storage 2");
    TBackupFile r;
    Watch(r);
    ASSERT_TRUE(r.Restore(arc, dst.string()));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dst))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ENTITY.DAT", "NOTES.TXT", "STORAGE.1.DAT", "STORAGE.2.DAT",
                                               "STORAGE.7.DAT", "entity.dat", "storage.2.dat"}));
    EXPECT_EQ(ReadAll(dst / "entity.dat"), "twin registry");
    EXPECT_EQ(ReadAll(dst / "storage.2.dat"), "twin storage 2");
    EXPECT_EQ(ReadAll(dst / "ENTITY.DAT"), "new registry");
    EXPECT_EQ(ReadAll(dst / "STORAGE.1.DAT"), "new storage 1");
    EXPECT_EQ(ReadAll(dst / "STORAGE.2.DAT"), "new storage 2");
    EXPECT_EQ(ReadAll(dst / "NOTES.TXT"), "notes");
    EXPECT_EQ(ReadAll(dst / "STORAGE.7.DAT"), "stays");
    // Replaced in place: the file keeps what it allowed before.
    EXPECT_EQ(fs::status(dst / "STORAGE.1.DAT").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(BackupFileTest, NamesWrittenOnWindowsRestoreByTheirFilePart)
{
    Builder a;
    a.Header(7, 1).Entry("c:\\quorvex\\storage.3.dat").RawChunk("windows").Int(0).Int(0);
    WriteAll(root / "w.bkp", a.b);
    TBackupFile r;
    Watch(r);
    ASSERT_TRUE(r.Restore((root / "w.bkp").string(), dst.string()));
    EXPECT_EQ(ReadAll(dst / "STORAGE.3.DAT"), "windows");

    // The same with the full path below the destination, drive left out.
    TBackupFile f;
    Watch(f);
    f.RestoreFullPath = true;
    ASSERT_TRUE(f.Restore((root / "w.bkp").string(), dst.string()));
    EXPECT_EQ(ReadAll(dst / "quorvex" / "STORAGE.3.DAT"), "windows");
    EXPECT_TRUE(errors.empty());
}

TEST_F(BackupFileTest, NothingIsWrittenOutsideTheDestination)
{
    for (bool fullPath : {false, true}) {
        Builder a;
        a.Header(40, 4);
        a.Entry("..").RawChunk("dots").Int(0);
        a.Entry("c:\\x\\..\\..\\escape1").RawChunk("e1").Int(0);
        a.Entry("/../escape2").RawChunk("e2").Int(0);
        a.Entry("sub/../../escape3").RawChunk("e3").Int(0);
        a.Entry("c:\\good.txt").RawChunk("good").Int(0);
        a.Int(0);
        WriteAll(root / "evil.bkp", a.b);
        TBackupFile r;
        r.RestoreFullPath = fullPath;
        std::vector<std::string> reported;
        r.OnUnsafeEntry = [&](TBackupFile*, const std::string& n) { reported.push_back(n); };
        const fs::path inner = dst / "in";
        fs::create_directories(inner);
        r.Restore((root / "evil.bkp").string(), inner.string());
        for (const char* n : {"escape1", "escape2", "escape3", "dots"}) {
            EXPECT_FALSE(fs::exists(dst / n)) << n;
            EXPECT_FALSE(fs::exists(root / n)) << n;
        }
        EXPECT_EQ(ReadAll(inner / "good.txt"), "good");
        EXPECT_EQ(r.UnsafeEntries(), reported);
        // Without the full path, only ".." has no usable file part.
        EXPECT_EQ(reported.size(), fullPath ? 4u : 1u);
        fs::remove_all(inner);
    }
}

// ---- failures --------------------------------------------------------------

TEST_F(BackupFileTest, MissingArchiveGivesFalseWithoutMessage)
{
    TBackupFile r;
    Watch(r);
    bool shown = false;
    r.UiShowError = [&](const std::string&) { shown = true; };
    EXPECT_FALSE(r.Restore((root / "none.bkp").string(), dst.string()));
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(shown);
    EXPECT_FALSE(r.Busy());
}

TEST_F(BackupFileTest, UnreadableHeaderRaisesCannotReadArchive)
{
    for (const std::string& bytes : {std::string(), std::string("\x05\0\0\0ab", 6), Builder().Str("t").Int(1).b,
                                     Builder().Int(-1).Int(0).Int(0).b}) {
        WriteAll(root / "h.bkp", bytes);
        TBackupFile r;
        Watch(r);
        try {
            r.Restore((root / "h.bkp").string(), dst.string());
            ADD_FAILURE() << "no exception";
        } catch (const EBackupFileError& e) {
            EXPECT_STREQ(e.what(), "Cannot read archive");
        }
        EXPECT_FALSE(r.Busy());
        EXPECT_TRUE(errors.empty());
    }
}

TEST_F(BackupFileTest, BadSignatureWhileSkippingRaisesInvalidArchiveType)
{
    Builder a;
    a.Header().Str("FILE:LIST").Int(0).Raw("XYZ\0").Int(0).Int(0);
    WriteAll(root / "s.bkp", a.b);
    TBackupFile r;
    try {
        r.Restore((root / "s.bkp").string(), dst.string());
        ADD_FAILURE() << "no exception";
    } catch (const EBackupFileError& e) {
        EXPECT_STREQ(e.what(), "Invalid archive type");
    }
    EXPECT_FALSE(r.Busy());
}

TEST_F(BackupFileTest, DamagedChunksEndTheRestoreWithAnError)
{
    struct Case {
        std::string name;
        std::string archive;
        std::int32_t error;
    };
    std::string bomb(20000, 'a'); // inflates past one chunk
    std::string corrupt = Builder().ZChunk("hello hello hello").b;
    corrupt[corrupt.size() - 2] ^= 0x55; // breaks the Adler-32
    std::vector<Case> cases = {
        {"long chunk", Builder().Header().Entry("/x/f1").Int(16385).Raw(std::string(16385, 'z')).Int(0).Int(0).b, 1},
        {"long raw chunk", Builder().Header().Entry("/x/f2").Int(-16385).Raw(std::string(16385, 'z')).Int(0).Int(0).b,
         1},
        {"most negative", Builder().Header().Entry("/x/f3").Int(INT32_MIN).Int(0).Int(0).b, 1},
        {"inflates too far", Builder().Header().Entry("/x/f4").ZChunk(bomb).Int(0).Int(0).b, 1},
        {"bad stream", Builder().Header().Entry("/x/f5").Raw(corrupt).Int(0).Int(0).b, 6},
        {"not zlib", Builder().Header().Entry("/x/f6").Int(5).Raw("abcde").Int(0).Int(0).b, 6},
        {"bad signature", Builder().Header().Str("/x/f7").Int(0).Raw("EC3\0").Int(0).Int(0).b, 1},
        {"truncated data", Builder().Header().Entry("/x/f8").Int(-100).Raw("short").b, 1},
        {"no terminator", Builder().Header().Entry("/x/f9").RawChunk("ok").Int(0).b, 1},
        {"huge name", Builder().Header().Int(0x7FFFFFF0).b, 1},
        {"bad volume", Builder().Header().Entry("/x/fa").Int(0).Str("NEXT:DISKabc").b, 1},
    };
    for (const auto& c : cases) {
        errors.clear();
        WriteAll(root / "bad.bkp", c.archive);
        const fs::path inner = dst / "in";
        fs::create_directories(inner);
        TBackupFile r;
        Watch(r);
        EXPECT_FALSE(r.Restore((root / "bad.bkp").string(), inner.string())) << c.name;
        EXPECT_EQ(errors, std::vector<std::int32_t>{c.error}) << c.name;
        EXPECT_EQ(r.ErrorCode(), c.error) << c.name;
        // Whatever was created stays inside the destination.
        std::size_t outside = 0;
        for (const auto& e : fs::recursive_directory_iterator(root))
            if (e.path().string().rfind(inner.string(), 0) != 0 && e.path() != dst && e.path() != src
                && e.path() != root / "bad.bkp")
                ++outside;
        EXPECT_EQ(outside, 0u) << c.name;
        fs::remove_all(inner);
    }
    EXPECT_EQ(TBackupFile::ErrorText(1), "Cannot read file");
    EXPECT_EQ(TBackupFile::ErrorText(6), "Compression error");
}

TEST_F(BackupFileTest, WriterFailingPartWayReportsCannotWriteToArchive)
{
    WriteAll(src / "a.bin", RandomBytes(40000, 8));
    WriteAll(src / "b.txt", HexText(30000, 9));
    // Ask for the whole size once, then fail at every point along it.
    TBackupFile ok;
    std::ostringstream whole;
    ok.BackupStream = &whole;
    ASSERT_TRUE(ok.Backup({(src / "a.bin").string(), (src / "b.txt").string()}, TBackupFile::StreamName));
    const std::size_t size = whole.str().size();
    // A previous archive under the name: a failed run leaves it whole, and
    // no temporary file behind.
    const auto arc = root / "f.bkp";
    WriteAll(arc, "the previous archive");
    const auto filesBefore = std::distance(fs::directory_iterator(root), fs::directory_iterator());
    for (std::size_t limit :
         {std::size_t{0}, std::size_t{3}, std::size_t{12}, std::size_t{60}, size / 3, size / 2, size - 5, size - 1}) {
        errors.clear();
        FailingBackup b(limit);
        Watch(b);
        EXPECT_FALSE(b.Backup({(src / "a.bin").string(), (src / "b.txt").string()}, arc.string())) << limit;
        EXPECT_EQ(errors, std::vector<std::int32_t>{4}) << limit;
        EXPECT_EQ(errorTexts.back(), "Cannot write to archive");
        EXPECT_FALSE(b.Busy());
        EXPECT_EQ(ReadAll(arc), "the previous archive") << limit;
        EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), filesBefore) << limit;
    }
    FailingBackup enough(size);
    Watch(enough);
    errors.clear();
    EXPECT_TRUE(enough.Backup({(src / "a.bin").string(), (src / "b.txt").string()}, (root / "f.bkp").string()));
    EXPECT_TRUE(errors.empty());
}

TEST_F(BackupFileTest, StopDuringBackupGivesFalseWithoutMessage)
{
    WriteAll(src / "a.bin", RandomBytes(100000, 10));
    TBackupFile b;
    Watch(b);
    int calls = 0;
    b.OnProgress = [&](TBackupFile* s, const std::string& name, TPercentage, bool&) {
        if (!name.empty() && ++calls == 2)
            s->Stop();
    };
    // Stopped after two chunks: neither a partial archive nor a lost
    // previous one, on a single volume or on several in one folder.
    const auto arc = (root / "s.bkp").string();
    EXPECT_FALSE(b.Backup({(src / "a.bin").string()}, arc));
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(b.Busy());
    EXPECT_FALSE(fs::exists(arc));
    EXPECT_EQ(calls, 2);

    WriteAll(src / "big.bin", RandomBytes(1600000, 11));
    TBackupFile whole;
    whole.MaxSize = 1400000;
    ASSERT_TRUE(whole.Backup({(src / "big.bin").string()}, arc));
    const std::string first = ReadAll(arc), second = ReadAll(root / "s.002");
    calls = 0;
    b.MaxSize = 1400000;
    b.OnProgress = [&](TBackupFile* s, const std::string& name, TPercentage, bool&) {
        if (!name.empty() && ++calls == 90) // in the second volume
            s->Stop();
    };
    EXPECT_FALSE(b.Backup({(src / "a.bin").string(), (src / "big.bin").string()}, arc));
    EXPECT_EQ(calls, 90);
    EXPECT_EQ(ReadAll(arc), first);
    EXPECT_EQ(ReadAll(root / "s.002"), second);
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 4); // Src, dst, 2 volumes
    b.Stop();                                                                            // harmless when idle
    EXPECT_FALSE(b.Busy());
}

TEST_F(BackupFileTest, ContinueFalseFromProgressStopsRestore)
{
    WriteAll(src / "a.bin", RandomBytes(100000, 11));
    TBackupFile b;
    const auto arc = (root / "c.bkp").string();
    ASSERT_TRUE(b.Backup({(src / "a.bin").string()}, arc));
    TBackupFile r;
    Watch(r);
    std::vector<int> percents;
    r.OnProgress = [&](TBackupFile*, const std::string&, TPercentage p, bool& go) {
        percents.push_back(p);
        if (percents.size() == 3)
            go = false;
    };
    EXPECT_FALSE(r.Restore(arc, dst.string()));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(percents.size(), 4u); // three chunks, then the closing report
    EXPECT_EQ(percents.back(), 100);
    // A file whose data did not all arrive is not left behind half written.
    EXPECT_TRUE(fs::is_empty(dst));
}

TEST_F(BackupFileTest, DamagedArchiveLeavesExistingFilesWhole)
{
    WriteAll(dst / "ENTITY.DAT", "precious registry");
    WriteAll(dst / "STORAGE.1.DAT", "old storage");
    std::string corrupt = Builder().ZChunk("more data").b;
    corrupt[corrupt.size() - 1] ^= 1;
    Builder a;
    a.Header(30, 2);
    a.Entry("c:\\q\\storage.1.dat").RawChunk("new storage").Int(0);
    a.Entry("c:\\q\\entity.dat").RawChunk("first chunk").Raw(corrupt).Int(0);
    a.Int(0);
    WriteAll(root / "d.bkp", a.b);
    TBackupFile r;
    Watch(r);
    std::vector<std::string> told;
    r.OnFileRestored = [&](TBackupFile*, std::string& name, std::ostream&) { told.push_back(name); };
    EXPECT_FALSE(r.Restore((root / "d.bkp").string(), dst.string()));
    EXPECT_EQ(errors, std::vector<std::int32_t>{6});
    // The complete file was restored, the damaged one kept as it was.
    EXPECT_EQ(ReadAll(dst / "STORAGE.1.DAT"), "new storage");
    EXPECT_EQ(ReadAll(dst / "ENTITY.DAT"), "precious registry");
    EXPECT_EQ(told, (std::vector<std::string>{(dst / "STORAGE.1.DAT").string(), (dst / "ENTITY.DAT").string()}));
    EXPECT_EQ(r.ProcessedFiles(), 1);
    std::size_t count = 0;
    for (const auto& e : fs::directory_iterator(dst)) {
        (void)e;
        ++count;
    }
    EXPECT_EQ(count, 2u); // no leftovers
}

TEST_F(BackupFileTest, ShrinkingSourceEndsAtTheFirstEmptyRead)
{
    // Cut beyond what is read ahead of the writer (at most 128 chunks).
    const fs::path f = src / "shrinks.bin";
    WriteAll(f, RandomBytes(256 * 16384, 12));
    const std::uintmax_t cut = 160 * 16384 + 100;
    TBackupFile b;
    Watch(b);
    std::vector<int> percents;
    b.OnProgress = [&](TBackupFile*, const std::string& name, TPercentage p, bool&) {
        percents.push_back(p);
        if (!name.empty() && fs::file_size(f) > cut)
            fs::resize_file(f, cut); // another program cuts it short
    };
    const auto arc = (root / "sh.bkp").string();
    EXPECT_TRUE(b.Backup({f.string()}, arc));
    const auto a = archivecheck::Read(arc);
    ASSERT_EQ(a.Entries.size(), 1u);
    EXPECT_EQ(a.Entries[0].Data.size(), cut);
    EXPECT_TRUE(a.Terminated);
    for (int p : percents)
        EXPECT_LE(p, 100);
}

TEST_F(BackupFileTest, FileDeletedAfterCollectingIsCountedButNotStored)
{
    WriteAll(src / "a.txt", "a");
    WriteAll(src / "b.txt", "b");
    TBackupFile b;
    Watch(b);
    b.OnProgress = [&](TBackupFile*, const std::string& name, TPercentage, bool&) {
        if (!name.empty())
            fs::remove(src / "b.txt");
    };
    const auto arc = (root / "del.bkp").string();
    ASSERT_TRUE(b.Backup({(src / "*.txt").string()}, arc));
    const auto a = archivecheck::Read(arc);
    EXPECT_EQ(a.FileCount, 2);
    ASSERT_EQ(a.Entries.size(), 1u);
    EXPECT_EQ(b.ProcessedFiles(), 1);
}

// ---- collecting ------------------------------------------------------------

TEST_F(BackupFileTest, CollectsPatternsSubfoldersWithoutDuplicatesOrTheArchiveItself)
{
    WriteAll(src / "one.dat", "1");
    WriteAll(src / "Two.DAT", "2");
    WriteAll(src / "skip.txt", "x");
    WriteAll(src / "sub" / "three.dat", "3");
    WriteAll(src / ".hidden" / "four.dat", "4");
    WriteAll(src / "self.dat", "");
    fs::create_directory_symlink(src, src / "sub" / "loop");
    TBackupFile b;
    Watch(b);
    const auto arc = (src / "SELF.DAT").string(); // the archive is not taken into itself
    ASSERT_TRUE(b.Backup({(src / "*.dat").string() + " /S", (src / "one.dat").string()}, arc));
    std::vector<std::string> names;
    for (const auto& e : archivecheck::Read(arc).Entries)
        names.push_back(e.Name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{LowerPath(src / "one.dat"), LowerPath(src / "sub" / "three.dat"),
                                               LowerPath(src / "two.dat")}));
}

TEST_F(BackupFileTest, ArchiveReachedThroughALinkedFolderIsNotTakenIntoItself)
{
    // An archive from an earlier run, found again under another name. Read
    // while it grows, it would never end: stored raw, each chunk adds more
    // to the archive than it takes from it.
    const std::string data = RandomBytes(600000, 7);
    WriteAll(src / "a.bin", data);
    WriteAll(src / "z.bkp", RandomBytes(1000, 8));
    fs::create_directory_symlink(src, root / "link");
    TBackupFile b;
    Watch(b);
    b.CompressionLevel = clNone;
    // Bounds the run when the archive is taken in after all.
    b.OnProgress = [&](TBackupFile* sender, const std::string&, TPercentage, bool& go) {
        if (sender->ProcessedSize() > static_cast<std::int64_t>(4 * data.size()))
            go = false;
    };
    const auto arc = (src / "z.bkp").string();
    ASSERT_TRUE(b.Backup({(root / "link" / "*").string()}, arc));
    const auto entries = archivecheck::Read(arc).Entries;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, LowerPath(root / "link" / "a.bin"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(BackupFileTest, StreamModeRoundTripsThroughCallerStreams)
{
    WriteAll(src / "ENTITY.DAT", "registry");
    WriteAll(src / "STORAGE.1.DAT", HexText(70000, 13));
    TBackupFile b;
    Watch(b);
    b.SaveFileID = true;
    b.MaxSize = 1000; // volumes are for files only
    std::stringstream s;
    b.BackupStream = &s;
    ASSERT_TRUE(b.Backup({(src / "*.DAT").string()}, TBackupFile::StreamName));
    EXPECT_FALSE(fs::exists(TBackupFile::StreamName));
    const auto a = archivecheck::ReadBytes(s.str());
    EXPECT_EQ(a.Entries.size(), 3u);
    EXPECT_TRUE(a.Continuations.empty());

    TBackupFile r;
    Watch(r);
    r.RestoreStream = &s;
    s.seekg(0);
    ASSERT_TRUE(r.Restore(TBackupFile::StreamName, dst.string()));
    EXPECT_EQ(ReadAll(dst / "STORAGE.1.DAT"), ReadAll(src / "STORAGE.1.DAT"));
    EXPECT_EQ(ReadAll(dst / "ENTITY.DAT"), "registry");

    std::vector<TArchiveEntryInfo> entries;
    TBackupFile x;
    s.clear();
    s.seekg(0);
    x.RestoreStream = &s;
    ASSERT_TRUE(x.Examine(TBackupFile::StreamName, entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name, "FILE:LIST");
    EXPECT_EQ(entries[2].Size, 70000);
    EXPECT_TRUE(x.TerminatorFound());
}

} // namespace

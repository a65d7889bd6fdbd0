// The overview of the entities headless: one row per entity of a session in
// each state (one whose storage file was damaged at start among them), taken
// from memory alone; the identifiers as written on paper; the filter; and
// the list as CSV, read back by Python's own csv reader.
#include "app/steps/EntityOverview.h"

#include "app/SampleData.h"
#include "app/steps/CsvText.h"
#include "app/steps/TEntitySession.h"
#include "support/RunTool.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

using sample::State;
using testsupport::TempFolder;

namespace {

namespace fs = std::filesystem;

std::string Shell(const std::string& Command)
{
    std::string out;
    FILE* p = ::popen((Command + " 2>&1").c_str(), "r");
    if (!p)
        return out;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    ::pclose(p);
    return out;
}

} // namespace

TEST(EntityOverview, OneRowPerEntityInEachStateFromWhatTheSessionHolds)
{
    TempFolder folder("overview");
    ASSERT_TRUE(folder.Valid());
    const std::string dir = folder.Path();
    // Sent, but the file stops at a NUL before its second certificate: the
    // row shows what could be read, and says so.
    sample::Write(dir, {sample::Make("Alfa", "11222333000181", State::Registered),
                        sample::Make("Beta", "22333444000155", State::Filled),
                        sample::Make("Gama", "33444555000122", State::Created, 10, 3),
                        sample::Make("Delta", "44555666000133", State::Sent, 20),
                        sample::Make("Epsilon", "55666777000144", State::ReceivedAllSigned, 30),
                        sample::Make("Zeta", "66777888000111", State::ReceivedOneUnsigned, 40, 3),
                        sample::Make("Eta", "77888999000100", State::Sent, 50)});
    const std::string damaged = dir + "STORAGE.7.DAT";
    std::string bytes = sample::ReadFile(damaged);
    const std::size_t second = bytes.find("[" + sample::Guid(51) + "]");
    ASSERT_NE(second, std::string::npos);
    bytes.insert(second, 1, '\0');
    sample::WriteFile(damaged, bytes);

    TEntitySession session(dir);
    // Nothing on disk is read again: the rows come from memory.
    for (int n = 1; n <= 7; ++n)
        fs::remove(dir + "STORAGE." + std::to_string(n) + ".DAT");
    fs::remove(dir + "ENTITY.DAT");

    using S = TOverviewState;
    using T = TNextTask;
    struct Row {
        const char* Razao;
        const char* Inscription;
        S State;
        int Signed, Unsigned;
        T Task;
        bool Pending, Damaged;
    };
    const Row expected[] = {
        {"Alfa", "11.222.333/0001-81", S::Registered, 0, 0, T::RequestFill, false, false},
        {"Beta", "22.333.444/0001-55", S::Registered, 0, 0, T::FileNew, false, false},
        {"Gama", "33.444.555/0001-22", S::CertificatesCreated, 0, 3, T::RequestSend, true, false},
        {"Delta", "44.555.666/0001-33", S::RequestSent, 0, 2, T::RequestReceive, true, false},
        {"Epsilon", "55.666.777/0001-44", S::CertificatesReceived, 2, 0, T::FileDisk, true, false},
        {"Zeta", "66.777.888/0001-11", S::CertificatesReceived, 2, 1, T::FileDisk, true, false},
        {"Eta", "77.888.999/0001-00", S::RequestSent, 0, 1, T::RequestReceive, true, true},
    };
    const std::vector<TOverviewRow> rows = EntityOverview::Rows(session);
    ASSERT_EQ(rows.size(), std::size(expected));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& want = expected[i];
        const TOverviewRow& row = rows[i];
        SCOPED_TRACE(want.Razao);
        EXPECT_EQ(row.Position, int32_t(i + 1));
        EXPECT_EQ(row.Number, int32_t(i + 1));
        EXPECT_EQ(row.Entity.Razao, want.Razao);
        EXPECT_EQ(row.Inscription, want.Inscription);
        EXPECT_EQ(row.State, want.State);
        EXPECT_EQ(row.Signed, want.Signed);
        EXPECT_EQ(row.Unsigned, want.Unsigned);
        EXPECT_EQ(row.NextTask, want.Task);
        EXPECT_EQ(EntityOverview::IsPending(row), want.Pending);
        EXPECT_EQ(row.Damaged, want.Damaged);
        // The same rule as the next-task pane of the main window.
        ASSERT_TRUE(session.Select(row.Position));
        EXPECT_EQ(row.NextTask, session.NextTask());
    }
    EXPECT_EQ(EntityOverview::StateText(rows[6]), "Requisição enviada (arquivo danificado)");
    EXPECT_EQ(EntityOverview::StateText(rows[3]), "Requisição enviada");

    // After a removal the others keep their numbers, not their positions.
    ASSERT_TRUE(session.Select(2));
    session.RemoveActive();
    const std::vector<TOverviewRow> after = EntityOverview::Rows(session);
    ASSERT_EQ(after.size(), 6u);
    EXPECT_EQ(after[1].Entity.Razao, "Gama");
    EXPECT_EQ(after[1].Position, 2);
    EXPECT_EQ(after[1].Number, 3);
}

TEST(EntityOverview, IdentifiersAreWrittenAsOnPaperWhenTheyHaveTheirShape)
{
    const struct {
        const char* Tipo;
        const char* Stored;
        const char* Shown;
    } cases[] = {
        {"01", "11222333000181", "11.222.333/0001-81"},
        {"01", "12ABC34501DE35", "12.ABC.345/01DE-35"},
        {"02", "00111222333331", "11.122.23333/31"}, // a CEI is kept padded to 14
        {"02", "111222333331", "11.122.23333/31"},
        {"02", "12ABC34501DE35", "12ABC34501DE35"}, // not a CEI's shape: as stored
        {"01", "1122233300018", "1122233300018"},
        {"01", "11222333000181X", "11222333000181X"},
        {"01", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EntityOverview::FormatInscription(c.Tipo, c.Stored), c.Shown) << c.Tipo << " " << c.Stored;
}

TEST(EntityOverview, TheFilterMatchesAsTheEntitySelectorAndNarrowsToPending)
{
    const auto row = [](const char* razao, const char* inscricao, TNextTask task) {
        TOverviewRow r;
        r.Entity.Razao = razao;
        r.Entity.SetInscricao(inscricao);
        r.NextTask = task;
        return r;
    };
    const TOverviewRow rows[] = {
        row("COMERCIO ALFA LTDA", "11222333000181", TNextTask::FileNew),
        row("Servi\xe7os Beta", "22333444000155", TNextTask::RequestSend),
        row("GAMA; FILIAL", "12ABC34501DE35", TNextTask::FileDisk),
    };
    const struct {
        const char* Query;
        bool PendingOnly;
        const char* Shown; // one letter per row shown
    } cases[] = {
        {"", false, "abc"},
        {"   ", false, "abc"},
        {"com\xe9rcio", false, "a"}, // accents and letter case ignored
        {"servicos", false, "b"},
        {"11.222.333", false, "a"}, // punctuation of the identifier ignored
        {"12.abc", false, "c"},
        {"; f", false, "c"},
        {"", true, "bc"},
        {"alfa", true, ""},
        {"zzz", false, ""},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (std::size_t i = 0; i < std::size(rows); ++i)
            if (EntityOverview::Shown(rows[i], c.Query, c.PendingOnly))
                shown += char('a' + i);
        EXPECT_EQ(shown, c.Shown) << "\"" << c.Query << "\" pending " << c.PendingOnly;
    }
}

TEST(EntityOverview, CsvCellsStayTextAndKeepTheirSeparatorsInside)
{
    const struct {
        const char* Text;
        const char* Written;
    } cases[] = {
        {"ALFA LTDA", "ALFA LTDA"},
        {"", ""},
        {"A;B", "\"A;B\""},
        {"diz \"oi\"", "\"diz \"\"oi\"\"\""},
        {"linha\r\noutra", "\"linha\r\noutra\""},
        {" ALFA", "\" ALFA\""},
        {"=1+1", "'=1+1"},
        {"+55 61", "'+55 61"},
        {"-2", "'-2"},
        {"@SOMA(A1)", "'@SOMA(A1)"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"=A1;B", "\"'=A1;B\""},
        {"A=1", "A=1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Csv::Cell(c.Text), c.Written) << c.Text;
    EXPECT_EQ(Csv::Line({"a", "b;c", ""}), "a;\"b;c\";\r\n");
    EXPECT_EQ(Csv::FromWindows1252("Concei\xe7\xe3o \x80 \x93x\x94 \x81"),
              "Concei\xc3\xa7\xc3\xa3o \xe2\x82\xac \xe2\x80\x9cx\xe2\x80\x9d \xc2\x81");
}

// The file written through the safe replace, over a link planted under the
// chosen name, read back by Python's csv module as a spreadsheet would.
TEST(EntityOverview, TheExportedListReadsBackWithAccentsAndSeparatorsInNames)
{
    if (Shell("command -v python3").empty())
        GTEST_SKIP() << "python3 is not installed";
    TempFolder folder("overview-csv");
    ASSERT_TRUE(folder.Valid());
    folder.Write("other.txt", "not a list");
    const std::string target = folder.File("lista.csv");
    ASSERT_EQ(::symlink(folder.File("other.txt").c_str(), target.c_str()), 0);

    std::vector<TOverviewRow> rows(3);
    rows[0].Entity.Razao = "Com\xe9rcio S\xe3o Jo\xe3o; Filial";
    rows[0].Inscription = "11.222.333/0001-81";
    rows[0].State = TOverviewState::CertificatesReceived;
    rows[0].Signed = 2;
    rows[0].Unsigned = 1;
    rows[0].NextTask = TNextTask::FileDisk;
    rows[1].Entity.Razao = "=HYPERLINK(\"http://x\")";
    rows[1].Inscription = "-12";
    rows[1].Damaged = true;
    rows[2].Entity.Razao = "Ponto \"e\" v\xedrgula";
    rows[2].State = TOverviewState::RequestSent;
    rows[2].NextTask = TNextTask::RequestReceive;
    ASSERT_EQ(EntityOverview::WriteCsv(target, rows), 0);

    struct stat st {};
    ASSERT_EQ(::lstat(target.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << "the link is replaced, not followed";
    EXPECT_EQ(folder.Read("other.txt"), "not a list");
    EXPECT_EQ(folder.Read("lista.csv").rfind("\xEF\xBB\xBF", 0), 0u);

    // One line per cell, rows apart by a line of its own.
    const std::string script = "import csv,sys\n"
                               "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                               "    for row in csv.reader(f, delimiter=';'):\n"
                               "        print('\\n'.join(row)); print('--')\n";
    folder.Write("read.py", script);
    const std::string out =
        Shell("python3 " + testsupport::Quote(folder.File("read.py")) + " " + testsupport::Quote(target));
    EXPECT_EQ(out,
              "CNPJ/CEI\nRazão Social\nSituação\nAssinados\nNão assinados\nPróxima tarefa\n--\n"
              "11.222.333/0001-81\nComércio São João; Filial\nCertificados recebidos\n2\n1\nCriar disquete\n--\n"
              "'-12\n'=HYPERLINK(\"http://x\")\nCadastrada (arquivo danificado)\n0\n0\nPreencher a requisição\n--\n"
              "\nPonto \"e\" vírgula\nRequisição enviada\n0\n0\nReceber a resposta\n--\n");
}

// The agreement from the main window: the menu action and ShowAgreement.
#include "app/SampleData.h"
#include "app/TForm1.h"
#include "support/TestKit.h"
#include "agreement/TFrmContrato.h"
#include "base/ProgramPaths.h"
#include "support/ModalAnswerer.h"
#include "ui/HtmlView.h"

#include <QCheckBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

struct Folders {
    QTemporaryDir root;
    std::string Data() const { return root.path().toStdString() + "/dados/"; }
    std::string Program() const { return root.path().toStdString() + "/programa/"; }
    Folders()
    {
        fs::create_directories(Data());
        fs::create_directories(Program());
        fs::copy_file(QUORVEX_APP_DIR "ConvEmpr.rtf", Program() + "ConvEmpr.rtf");
        fs::copy_file(QUORVEX_APP_DIR "TermoAdesaoStyle.xsl", Program() + "TermoAdesaoStyle.xsl");
    }
};

TEST(MainWindowAgreement, FileDealShowsTheTermOfTheActiveEntity)
{
    Folders folders;
    sample::Write(folders.Data(),
                  {sample::Make("Alfa Comercio", "11222333000181", sample::State::Filled),
                   sample::Make("Beta Servicos", "22333444000155", sample::State::Created)},
                  2);
    TForm1 form(ProgramPaths(folders.Data(), folders.Program()), TestKit());
    QString term, caption;
    AnswerNextModal([&](QWidget* w) {
        auto* f = qobject_cast<TFrmContrato*>(w);
        ASSERT_NE(f, nullptr);
        caption = f->windowTitle();
        f->cbAceito->setChecked(true);
        f->btnTermoClick();
        term = f->wbTermo->toPlainText();
        f->reject();
    });
    form.FileDealExecute();
    EXPECT_EQ(caption, QString::fromUtf8("Convênio de Prestação de Serviços"));
    EXPECT_EQ(form.AgreementFileName(), folders.Program() + "ConvEmpr.rtf");
    EXPECT_TRUE(term.contains("Beta Servicos")) << term.toStdString();
    EXPECT_FALSE(term.contains("Alfa Comercio"));
    // The term's files go to the data folder, never beside the program.
    EXPECT_TRUE(fs::exists(folders.Data() + "TermoAdesao.xml"));
    EXPECT_TRUE(fs::exists(folders.Data() + "VerTermo.html"));
    EXPECT_FALSE(fs::exists(folders.Program() + "TermoAdesao.xml"));
}

TEST(MainWindowAgreement, ProfileFourSignsNoAgreement)
{
    Folders folders;
    sample::Write(folders.Data(), {sample::Make("Gama", "33444555000122", sample::State::Filled)});
    std::string registry = sample::ReadFile(folders.Data() + "ENTITY.DAT");
    registry.replace(registry.find("Profile=01"), 10, "Profile=04");
    sample::WriteFile(folders.Data() + "ENTITY.DAT", registry);
    TForm1 form(ProgramPaths(folders.Data(), folders.Program()), TestKit());
    bool shown = false;
    AnswerNextModal(
        [&](QWidget* w) {
            shown = true;
            qobject_cast<QDialog*>(w)->reject();
        },
        300);
    form.FileDealExecute();
    QTest::qWait(400);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(form.AgreementFileName().empty());
}

} // namespace

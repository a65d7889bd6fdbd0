// The main window's answers to the certificate steps where the user turns
// back or the drive is missing: whatever the user cancels leaves the data
// files as they were and no key file behind, and a drive folder that does not
// exist brings up the choice of the removable medium instead of the same
// question again.

// Mouse moves go through the window system, as a real mouse's do.
#define QTEST_QPA_MOUSE_HANDLING

#include "app/RemovableMedia.h"
#include "app/SampleData.h"
#include "app/TForm1.h"
#include "support/TestKit.h"
#include "crypto/TFrmPwd.h"
#include "store/TFrmRequestTestSupport.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using formtest::ModalScript;
using sample::State;

namespace {

namespace fs = std::filesystem;

QString U(const char* Utf8)
{
    return QString::fromUtf8(Utf8);
}

bool HasKeyFile(const fs::path& Dir)
{
    for (const auto& entry : fs::directory_iterator(Dir)) {
        std::string ext = entry.path().extension().string();
        for (char& c : ext)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (ext == ".PRI")
            return true;
    }
    return false;
}

void MoveMouseOverSeed(QWidget* Dialog, int Moves)
{
    QWidget* area = Dialog->findChild<QWidget*>(QStringLiteral("SeedArea"));
    ASSERT_NE(area, nullptr);
    for (int i = 0; i < Moves && Dialog->isVisible(); ++i) {
        QTest::mouseMove(area, QPoint(5 + (i * 13) % 340, 5 + (i * 7) % 170));
        QCoreApplication::processEvents();
    }
}

// What the user does in one dialog, and which dialog it must be: its object
// name, or "Dlg" for the window's message dialog.
struct Answer {
    const char* dialog;
    std::function<void(QWidget*, const fs::path& Root)> act;
};

Answer Press(const char* Dialog, const char* Button)
{
    return {Dialog, [Button](QWidget* w, const fs::path&) {
                EXPECT_TRUE(testsupport::ClickButton(w, QString::fromUtf8(Button))) << Button;
            }};
}

struct Case {
    const char* what;
    State state;
    QAction* TForm1::*action;
    // The folder the user had chosen for the drive, under the test's root;
    // empty: the default one (the folder A in the data folder).
    const char* chosenDrive;
    std::vector<Answer> answers;
    // A text that one of the dialogs shows; empty: none looked for.
    const char* shown;
    // The drive folder when the step ends.
    const char* driveAfter;
};

TEST(TForm1QuestionsGuiTest, TurningBackLeavesNothingAndAMissingDriveOffersTheChoice)
{
    const auto seedThenPassword = [](const char* PasswordButton) {
        return std::vector<Answer>{
            {"SeedDialog", [](QWidget* w, const fs::path&) { MoveMouseOverSeed(w, 400); }},
            Press("FrmPwd", PasswordButton),
        };
    };
    const auto folderDialogIn = [](const char* Folder) {
        return Answer{"OpenFile", [Folder](QWidget* w, const fs::path& Root) {
                          auto* dialog = qobject_cast<QFileDialog*>(w);
                          ASSERT_NE(dialog, nullptr);
                          EXPECT_EQ(fs::path(dialog->directory().absolutePath().toStdString()), Root / Folder);
                          dialog->reject();
                      }};
    };
    const Case cases[] = {
        {"password dialog cancelled after the seed", State::Filled, &TForm1::FileNew, "",
         seedThenPassword("ButtonCancel"), "", "dados/A"},
        {"seed collection cancelled",
         State::Filled,
         &TForm1::FileNew,
         "",
         {{"SeedDialog",
           [](QWidget* w, const fs::path&) {
               MoveMouseOverSeed(w, 20);
               testsupport::ClickButton(w, QStringLiteral("CancelButton"));
           }},
          Press("ShowMessage", "OK")},
         "O processo de geração de chaves foi cancelado.",
         "dados/A"},
        {"chosen stick removed: the choice is offered, the default taken",
         State::Sent,
         &TForm1::RequestReceive,
         "pen",
         {Press("Dlg", "OK"),
          {"RemovableMediaDialog",
           [](QWidget* w, const fs::path&) {
               EXPECT_TRUE(testsupport::ClickButton(w, QStringLiteral("Default")));
               EXPECT_TRUE(testsupport::ClickButton(w, QStringLiteral("OK")));
           }},
          folderDialogIn("dados/A")},
         "Por favor, insira o disquete recebido da Autoridade Certificadora no drive A.",
         "dados/A"},
        {"chosen stick removed: choice declined, the question again, then Cancel",
         State::Sent,
         &TForm1::RequestReceive,
         "pen",
         {Press("Dlg", "OK"), Press("RemovableMediaDialog", "Cancelar"), Press("Dlg", "Cancel")},
         "",
         "pen"},
    };

    // The remembered choice goes to a folder of the test's own (Qt reads
    // the settings' place once per run).
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    ::unsetenv("QUORVEX_DRIVE_A");

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir tmp;
        ASSERT_TRUE(tmp.isValid());
        const fs::path root = tmp.path().toStdString();
        RemovableMedia::Remember(QString());
        for (const char* dir : {"programa", "dados", "dados/A"})
            fs::create_directories(root / dir);
        sample::Write((root / "dados").string() + "/", {sample::Make("PADARIA BOA VISTA", "11222333000181", c.state)});

        auto window = std::make_unique<TForm1>(ProgramPaths((root / "dados").string(), (root / "programa").string()),
                                               testsupport::TestKit());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        const std::string storage = sample::ReadFile(root / "dados" / "STORAGE.1.DAT");
        if (*c.chosenDrive)
            window->Paths.SetChosenDriveA((root / c.chosenDrive).string());

        ModalScript script;
        QStringList seen;
        for (const Answer& a : c.answers)
            script.Then([&seen, a, root](QWidget* w) {
                const QString name = w->objectName();
                seen << name;
                if (std::string(a.dialog) == "Dlg") {
                    EXPECT_NE(w->findChild<QWidget*>(QStringLiteral("Message")), nullptr) << name.toStdString();
                } else {
                    EXPECT_EQ(name.toStdString(), a.dialog);
                }
                a.act(w, root);
            });
        QAction* action = (*window).*c.action;
        ASSERT_TRUE(action->isEnabled());
        action->trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(script.unexpected, 0) << script.texts.join('|').toStdString();
        EXPECT_EQ(seen.size(), static_cast<qsizetype>(c.answers.size())) << seen.join(',').toStdString();
        if (*c.shown) {
            EXPECT_TRUE(script.texts.join('|').contains(U(c.shown))) << script.texts.join('|').toStdString();
        }

        EXPECT_EQ(fs::path(window->Paths.DriveA()), root / c.driveAfter / "");
        EXPECT_EQ(sample::ReadFile(root / "dados" / "STORAGE.1.DAT"), storage) << "nothing saved";
        EXPECT_FALSE(HasKeyFile(root / "dados"));
        EXPECT_FALSE(HasKeyFile(root / "programa"));
        EXPECT_FALSE(HasKeyFile(root / "dados" / "A"));
        {
            ModalScript closing;
            window.reset();
            EXPECT_EQ(closing.texts.size(), 0) << closing.texts.join('|').toStdString();
        }
    }
}

} // namespace

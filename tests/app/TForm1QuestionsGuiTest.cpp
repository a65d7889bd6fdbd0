// The main window's answers to the certificate steps where the user turns
// back or the drive is missing: whatever the user cancels leaves the data
// files as they were and no key file behind, and a drive folder that does not
// exist brings up the choice of the removable medium instead of the same
// question again.

// Mouse moves go through the window system, as a real mouse's do.
#define QTEST_QPA_MOUSE_HANDLING

#include "app/RemovableMedia.h"
#include "app/SampleData.h"
#include "app/TCustomItem.h"
#include "app/TCustomView.h"
#include "app/TForm1.h"
#include "app/steps/TEntitySession.h"
#include "support/FindNamed.h"
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
    const char* action; // object name
    // The folder the user had chosen for the drive, under the test's root;
    // empty: the default one (the folder A in the data folder).
    const char* chosenDrive;
    std::vector<Answer> answers;
    // A text that one of the dialogs shows; empty: none looked for.
    const char* shown;
    // The drive folder when the step ends.
    const char* driveAfter;
};

// The remembered choice of the drive goes to a folder of the test's own
// (Qt reads the settings' place once per run); no folder is fixed for it.
void UseOwnSettings(const QTemporaryDir& Config)
{
    ::setenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit().constData(), 1);
    ::unsetenv("QUORVEX_DRIVE_A");
}

// The main window over Root/dados (its drive A the folder A there, or
// ChosenDrive when one is given, as the program start applies the user's
// choice; its program folder Root/programa) with one entity in State, shown.
std::unique_ptr<TForm1> OpenWindow(const fs::path& Root, State EntityState, const std::string& ChosenDrive = {})
{
    RemovableMedia::Remember(QString());
    for (const char* dir : {"programa", "dados", "dados/A"})
        fs::create_directories(Root / dir);
    sample::Write((Root / "dados").string() + "/", {sample::Make("PADARIA BOA VISTA", "11222333000181", EntityState)});
    ProgramPaths paths((Root / "dados").string(), (Root / "programa").string());
    if (!ChosenDrive.empty())
        paths.SetChosenDriveA(ChosenDrive);
    auto window = std::make_unique<TForm1>(paths, testsupport::TestKit());
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
}

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
        {"password dialog cancelled after the seed", State::Filled, "FileNew", "", seedThenPassword("ButtonCancel"), "",
         "dados/A"},
        {"seed collection cancelled",
         State::Filled,
         "FileNew",
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
         "RequestReceive",
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
         "RequestReceive",
         "pen",
         {Press("Dlg", "OK"), Press("RemovableMediaDialog", "Cancelar"), Press("Dlg", "Cancel")},
         "",
         "pen"},
    };

    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    UseOwnSettings(config);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir tmp;
        ASSERT_TRUE(tmp.isValid());
        const fs::path root = tmp.path().toStdString();
        auto window = OpenWindow(root, c.state, *c.chosenDrive ? (root / c.chosenDrive).string() : std::string());
        const std::string storage = sample::ReadFile(root / "dados" / "STORAGE.1.DAT");

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
        QAction* action = FindNamed<QAction>(*window, c.action);
        ASSERT_TRUE(action->isEnabled());
        action->trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(script.unexpected, 0) << script.texts.join('|').toStdString();
        EXPECT_EQ(seen.size(), static_cast<qsizetype>(c.answers.size())) << seen.join(',').toStdString();
        if (*c.shown) {
            EXPECT_TRUE(script.texts.join('|').contains(U(c.shown))) << script.texts.join('|').toStdString();
        }

        EXPECT_EQ(fs::path(window->Folders().DriveA()), root / c.driveAfter / "");
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

// A question asked before something is deleted or replaced takes Enter,
// pressed by habit, as Cancel or No: the client's files in the medium folder
// (asked about after the save dialog), a file of the user's there, the
// entity and the certificate all stay as they were.
TEST(TForm1QuestionsGuiTest, EnterByHabitKeepsWhatTheQuestionWouldDelete)
{
    struct Row {
        const char* what;
        State state;
        const char* action; // object name
        int okBefore;       // questions answered OK before the one answered with Enter
        bool saveDialog;    // then a save dialog, its proposed name taken
    };
    const Row rows[] = {
        {"a medium folder that holds a request and a file of the user's", State::ReceivedAllSigned, "FileDisk", 1,
         true},
        {"removing the entity", State::Filled, "RequestRemove", 0, false},
        {"removing a certificate", State::Created, "FileRemove", 0, false},
    };
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    UseOwnSettings(config);

    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        QTemporaryDir tmp;
        ASSERT_TRUE(tmp.isValid());
        const fs::path root = tmp.path().toStdString();
        auto window = OpenWindow(root, r.state);
        const fs::path photo = root / "dados" / "A" / "foto.jpg";
        sample::WriteFile(photo.string(), "the user's photo");
        const fs::path request = root / "dados" / "A" / "{0A1B2C3D-1111-4222-8333-444455556666}.TXT";
        sample::WriteFile(request.string(), "an earlier request");
        if (window->ActiveEntityView()->count() > 0)
            window->ActiveEntityView()->setCurrentItem(window->ActiveEntityView()->Item(0));
        const std::string registry = sample::ReadFile(root / "dados" / "ENTITY.DAT");
        const std::string storage = sample::ReadFile(root / "dados" / "STORAGE.1.DAT");

        ModalScript script;
        for (int i = 0; i < r.okBefore; ++i)
            script.Press("OK");
        if (r.saveDialog)
            script.Then([](QWidget* w) {
                auto* dialog = qobject_cast<QFileDialog*>(w);
                ASSERT_NE(dialog, nullptr);
                static_cast<QDialog*>(dialog)->accept();
            });
        script.Then(testsupport::PressEnter);
        QAction* action = FindNamed<QAction>(*window, r.action);
        ASSERT_TRUE(action->isEnabled());
        action->trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(script.unexpected, 0) << script.texts.join('|').toStdString();
        EXPECT_EQ(script.texts.size(), r.okBefore + (r.saveDialog ? 2 : 1)) << script.texts.join('|').toStdString();

        EXPECT_EQ(sample::ReadFile(photo), "the user's photo");
        EXPECT_EQ(sample::ReadFile(request), "an earlier request");
        EXPECT_EQ(sample::ReadFile(root / "dados" / "ENTITY.DAT"), registry);
        EXPECT_EQ(sample::ReadFile(root / "dados" / "STORAGE.1.DAT"), storage);
        EXPECT_EQ(window->Session()->Registry().Count(), 1);
        {
            ModalScript closing;
            window.reset();
        }
    }
}

} // namespace

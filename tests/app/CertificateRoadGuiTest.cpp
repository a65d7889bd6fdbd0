// The whole road of a certificate walked through the real main window on the
// offscreen platform, every dialog answered as a user answers it: an entity
// registered through the request form, three certificates made (the seed
// dialog filled with mouse moves, the password typed), the request written to
// the medium, answered by the authority's tool, received, two certificates
// written to media (one after two wrong current passwords), and certificates
// exported from a second entity and imported into the first. The files are
// read back from disk after each step. A second walk goes from an empty
// folder to a written medium with key presses alone.

// Mouse moves go through the window system, as a real mouse's do: the seed
// dialog counts only moves that reach it as events.
#define QTEST_QPA_MOUSE_HANDLING

#include "app/RemovableMediaDialog.h"
#include "app/TCustomItem.h"
#include "app/TCustomView.h"
#include "app/TForm1.h"
#include "app/steps/TEntitySession.h"
#include "crypto/TFrmPwd.h"
#include "crypto/TRSAMedia.h"
#include "store/TFrmRequest.h"
#include "store/TFrmRequestTestSupport.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"
#include "support/FindNamed.h"
#include "support/FileBytes.h"
#include "support/RunTool.h"
#include "support/ScopedEnvironment.h"
#include "support/TestKit.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

using formtest::ModalScript;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::ScopedEnvironment;
using testsupport::TestKit;

namespace {

namespace fs = std::filesystem;

QString U(const char* Utf8)
{
    return QString::fromUtf8(Utf8);
}

std::vector<std::string> Sections(const TRequestFile& File)
{
    std::vector<std::string> names;
    File.ReadSections(names);
    return names;
}

std::vector<std::string> Keys(const TRequestFile& File, const std::string& Section)
{
    std::vector<std::string> names;
    File.ReadSection(Section, names);
    return names;
}

// The names of the key files (".PRI" in any case) in a folder.
std::vector<std::string> KeyFilesIn(const fs::path& Dir)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(Dir)) {
        std::string name = entry.path().filename().string();
        std::string ext = name.size() >= 4 ? name.substr(name.size() - 4) : std::string();
        for (char& c : ext)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (ext == ".PRI")
            found.push_back(name);
    }
    return found;
}

// Whether a key file opens under Password: changing the password to itself
// succeeds only under the current one.
bool OpensWith(const fs::path& File, const QString& Password)
{
    TRSAMedia media(TestKit(), File.string());
    media.Open();
    const bool ok = media.ChangePassword(Password.toStdString(), Password.toStdString());
    media.Close();
    return ok;
}

// ---- the user's answers -------------------------------------------------------

// Fills the seed dialog, which opens over the main window, by moving the mouse
// over it until it closes itself.
void MoveMouseOverSeed(QWidget* Dialog)
{
    EXPECT_EQ(Dialog->objectName(), QStringLiteral("SeedDialog"));
    EXPECT_NE(qobject_cast<TForm1*>(Dialog->parentWidget()), nullptr) << "the seed dialog opens over the main window";
    QWidget* area = Dialog->findChild<QWidget*>(QStringLiteral("SeedArea"));
    ASSERT_NE(area, nullptr);
    for (int i = 0; i < 400 && Dialog->isVisible(); ++i) {
        QTest::mouseMove(area, QPoint(5 + (i * 13) % 340, 5 + (i * 7) % 170));
        QCoreApplication::processEvents();
    }
    EXPECT_FALSE(Dialog->isVisible()) << "the seed dialog closes by itself when full";
    if (Dialog->isVisible())
        static_cast<QDialog*>(Dialog)->reject();
}

// Types into the password dialog's edits that the mode shows, then OK.
ModalScript::Step Passwords(const QString& Current, const QString& New = {})
{
    return [Current, New](QWidget* Dialog) {
        auto* pwd = qobject_cast<TFrmPwd*>(Dialog);
        ASSERT_NE(pwd, nullptr) << Dialog->objectName().toStdString();
        // A user reads the dialog before typing; keys that come sooner are
        // taken for keys left over from the dialog before.
        QTest::qWait(pwd->KeySettleMs + 50);
        if (pwd->PWD)
            QTest::keyClicks(pwd->PWD, Current);
        for (QLineEdit* edit : {pwd->NewPWD, pwd->ConfirmPWD})
            if (edit)
                QTest::keyClicks(edit, New);
        QTest::mouseClick(pwd->ButtonOK, Qt::LeftButton);
    };
}

// Types a name into Qt's file dialog and accepts it, as Enter does.
// Proposed receives what the dialog proposed.
ModalScript::Step ChooseFile(const std::string& Name, QString* Proposed = nullptr)
{
    return [Name, Proposed](QWidget* Dialog) {
        auto* dialog = qobject_cast<QFileDialog*>(Dialog);
        ASSERT_NE(dialog, nullptr);
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        if (Proposed)
            *Proposed = dialog->directory().absolutePath() + "/" + edit->text();
        if (!Name.empty())
            edit->setText(QString::fromStdString(Name));
        static_cast<QDialog*>(dialog)->accept();
    };
}

// ---- the walk -------------------------------------------------------------

class CertificateRoadGuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        const fs::path base = root.path().toStdString();
        programDir = base / "programa";
        dataDir = base / "dados";
        driveDir = base / "A";
        for (const fs::path& dir : {programDir, dataDir, driveDir})
            fs::create_directories(dir);
        window = std::make_unique<TForm1>(
            ProgramPaths(dataDir.string(), programDir.string(), FixedDrive() ? driveDir.string() : std::string()),
            TestKit());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Whether drive A is given to the window, or left for the user to choose.
    virtual bool FixedDrive() const { return true; }

    void TearDown() override
    {
        if (window) {
            ModalScript script;
            window.reset();
            EXPECT_EQ(script.texts.size(), 0) << script.texts.join('|').toStdString();
        }
        NoKeyFileLeft();
    }

    // Runs an action as the user does, the script answering its dialogs;
    // returns the texts of the dialogs seen. A dialog the script did not
    // expect fails the test.
    QStringList Run(QAction* Action, ModalScript& Script)
    {
        EXPECT_TRUE(Action->isEnabled()) << Action->objectName().toStdString();
        Action->trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(Script.unexpected, 0) << Script.texts.join('|').toStdString();
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone";
        return Script.texts;
    }

    void AddEntity(const QString& Id, const QString& Name)
    {
        ModalScript script;
        script.Then([&](QWidget* Dialog) {
            auto* form = qobject_cast<TFrmRequest*>(Dialog);
            ASSERT_NE(form, nullptr);
            formtest::FillValid(*form, Id, 0, Name);
            QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
        });
        Run(FindNamed<QAction>(*window, "RequestAdd"), script);
    }

    // Creates a certificate under Password and names it in the caption
    // editor that opens. Returns its identifier.
    std::string NewCertificate(const QString& Password, const QString& Name)
    {
        ModalScript script;
        script.Then(MoveMouseOverSeed).Then(Passwords({}, Password));
        const QStringList texts = Run(FindNamed<QAction>(*window, "FileNew"), script);
        EXPECT_EQ(texts.size(), 2) << texts.join('|').toStdString();
        QCoreApplication::processEvents();
        TCustomView* view = window->ActiveEntityView();
        if (!view || view->count() == 0) {
            ADD_FAILURE() << "no item for the new certificate";
            return {};
        }
        TCustomItem* item = view->Item(view->count() - 1);
        const std::string id = item->Id;
        EXPECT_EQ(item->text().toStdString(), id) << "the identifier is the proposed name";
        auto* editor = view->findChild<QLineEdit*>();
        if (!editor || !editor->isVisible()) {
            ADD_FAILURE() << "the caption is not open for editing";
            return id;
        }
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, Name);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        EXPECT_EQ(item->text(), Name);
        EXPECT_EQ(window->Session()->ActiveStorage()->ReadString(id, "Name", ""), Name.toStdString());
        return id;
    }

    TRequestFile Storage(int N) const
    {
        return TRequestFile((dataDir / ("STORAGE." + std::to_string(N) + ".DAT")).string());
    }

    void NoKeyFileLeft() const
    {
        EXPECT_EQ(KeyFilesIn(dataDir), std::vector<std::string>{});
        EXPECT_EQ(KeyFilesIn(programDir), std::vector<std::string>{});
    }

    void SelectItem(const std::string& Id)
    {
        TCustomView* view = window->ActiveEntityView();
        ASSERT_NE(view, nullptr);
        for (int row = 0; row < view->count(); ++row)
            if (view->Item(row)->Id == Id)
                view->setCurrentItem(view->Item(row));
        ASSERT_NE(view->Selected(), nullptr);
        ASSERT_EQ(view->Selected()->Id, Id);
    }

    QTemporaryDir root;
    fs::path programDir, dataDir, driveDir;
    std::unique_ptr<TForm1> window;
};

TEST_F(CertificateRoadGuiTest, FromEntityToMediaAndBetweenEntities)
{
    // ---- register the entity ------------------------------------------------
    AddEntity(formtest::ValidCNPJ, QStringLiteral("Padaria Boa Vista"));
    ASSERT_EQ(window->Session()->Registry().Count(), 1);
    ASSERT_TRUE(FindNamed<QAction>(*window, "FileNew")->isEnabled());

    // ---- three certificates ---------------------------------------------------
    const QString passwords[] = {QStringLiteral("SENHA001"), QStringLiteral("SENHA002"), QStringLiteral("SENHA003")};
    const QString names[] = {QStringLiteral("Primeiro"), QStringLiteral("Segundo"), QStringLiteral("Terceiro")};
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ids.push_back(NewCertificate(passwords[i], names[i]));
        ASSERT_FALSE(ids.back().empty());
        NoKeyFileLeft();
    }
    {
        const TRequestFile storage = Storage(1);
        EXPECT_EQ(storage.ReadString("General", "MasterKey", ""), ids[0]);
        EXPECT_EQ(storage.ReadString("General", "Keys", ""), ids[1] + "," + ids[2]);
        EXPECT_EQ(Sections(storage), (std::vector<std::string>{"General", "Request", "Resp", ids[0], ids[1], ids[2]}));
        for (const std::string& id : ids) {
            std::vector<std::string> keys = Keys(storage, id);
            std::sort(keys.begin(), keys.end());
            EXPECT_EQ(keys, (std::vector<std::string>{"Info", "KeyFile", "Name", "PublicKey"})) << id;
            EXPECT_EQ(storage.ReadString(id, "PublicKey", "").size(), 280u) << "140 bytes in hexadecimal";
        }
    }
    EXPECT_TRUE(FindNamed<QAction>(*window, "RequestSend")->isEnabled());
    EXPECT_FALSE(FindNamed<QAction>(*window, "RequestReceive")->isEnabled());

    // ---- send the request -------------------------------------------------------
    std::string requestFile;
    {
        ModalScript script;
        script.Then(Passwords(passwords[0]))
            .Press("OK")      // insert a formatted medium
            .Press("OK")      // the request was written there
            .Press("Cancel"); // the agreement: not now
        const QStringList texts = Run(FindNamed<QAction>(*window, "RequestSend"), script);
        ASSERT_EQ(texts.size(), 4) << texts.join('|').toStdString();
        EXPECT_TRUE(texts[1].contains(U("Por favor, insira um disquete formatado no drive A.")));
        EXPECT_TRUE(texts[1].contains(U("Pasta do drive A: ") + QString::fromStdString(driveDir.string())))
            << texts[1].toStdString();
        EXPECT_TRUE(texts[2].contains(U("A requisição foi gravada no arquivo {"))) << texts[2].toStdString();
        EXPECT_TRUE(texts[3].contains(U("Você deve enviar à Autoridade Certificadora duas vias impressas")));
    }
    NoKeyFileLeft();
    {
        const TRequestFile storage = Storage(1);
        EXPECT_TRUE(storage.ReadBool("General", "RequestSent", false));
        EXPECT_EQ(Keys(storage, "RequestReference"), (std::vector<std::string>{"00", "01", "02", "FileName"}));
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(storage.ReadString("RequestReference", "0" + std::to_string(i), ""), ids[i]);
        requestFile = storage.ReadString("RequestReference", "FileName", "");
        ASSERT_EQ(fs::path(requestFile).parent_path(), driveDir);
        EXPECT_EQ(fs::path(requestFile).filename().string().size(), 38u + 4u) << "a GUID and .TXT";

        // The request as the authority reads it, byte for byte up to the
        // signature (which the authority's tool checks below).
        std::string expected =
            "[General]\r\nDir=Request\r\nProfile=01\r\nTipo_Inscricao=01\r\nInscricao=11222333000181\r\n"
            "Razao=PADARIA BOA VISTA\r\nEndereco=RUA DAS FLORES, 12\r\nBairro=CENTRO\r\nCEP=70000000\r\n"
            "Cidade=BRASILIA\r\nUF=DF\r\nTelefone=6133334444\r\nEmail=contato@padaria.com.br\r\nNum_Keys=3\r\n\r\n"
            "[Keys]\r\n";
        for (std::size_t i = 0; i < 3; ++i)
            expected += "Key0" + std::to_string(i) + "=" + storage.ReadString(ids[i], "PublicKey", "") + "\r\nInfo0"
                        + std::to_string(i) + "=" + storage.ReadString(ids[i], "Info", "") + "\r\n";
        expected += "\r\n[Signatures]\r\nUser=";
        const std::string text = ReadFile(requestFile);
        ASSERT_EQ(text.substr(0, expected.size()), expected);
        const std::string signature = text.substr(expected.size());
        ASSERT_EQ(signature.size(), 256u + 4u);
        EXPECT_EQ(signature.find_first_not_of("0123456789ABCDEF"), 256u);
        EXPECT_EQ(signature.substr(256), "\r\n\r\n");
    }
    EXPECT_TRUE(FindNamed<QAction>(*window, "RequestReceive")->isEnabled());

    // ---- the authority answers beside the request ---------------------------------
    const std::string response = requestFile.substr(0, requestFile.size() - 4) + ".CNS";
    {
        const testsupport::ToolResult answer = testsupport::RunTool(
            "qvauthority", Quote((fs::path(root.path().toStdString()) / "ca").string()) + " " + Quote(requestFile));
        ASSERT_EQ(answer.code, 0) << answer.out;
        ASSERT_TRUE(fs::exists(response)) << answer.out;
    }

    // ---- receive ---------------------------------------------------------------
    {
        const std::string before = ReadFile(dataDir / "STORAGE.1.DAT");
        ModalScript script;
        script
            .Press("OK") // the medium from the authority is in the drive
            .Then(ChooseFile(response))
            .Then([&](QWidget* Dialog) {
                // Shortcuts that reach the window while the step waits here
                // run nothing (each would ask a question of its own).
                FindNamed<QAction>(*window, "RequestRemove")->trigger();
                FindNamed<QAction>(*window, "FileNew")->trigger();
                Passwords(passwords[0])(Dialog);
            })
            .Then(Passwords(passwords[1]))
            .Then(Passwords(passwords[2]))
            .Press("OK"); // the summary
        const QStringList texts = Run(FindNamed<QAction>(*window, "RequestReceive"), script);
        ASSERT_EQ(texts.size(), 6) << texts.join('|').toStdString();
        EXPECT_TRUE(
            texts[0].contains(U("Por favor, insira o disquete recebido da Autoridade Certificadora no drive A.")));
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(texts[2 + i].contains(names[i])) << "the password asked is the named certificate's";
        EXPECT_TRUE(texts[5].contains(U("Foram incorporados com sucesso 3 certificados eletrônicos assinados.")))
            << texts[5].toStdString();
        EXPECT_NE(ReadFile(dataDir / "STORAGE.1.DAT"), before);
    }
    NoKeyFileLeft();
    EXPECT_EQ(KeyFilesIn(driveDir), std::vector<std::string>{});
    ASSERT_EQ(window->Session()->Registry().Count(), 1);
    {
        const TRequestFile storage = Storage(1);
        EXPECT_EQ(Sections(storage),
                  (std::vector<std::string>{"General", "Request", "Resp", ids[0], ids[1], ids[2], "RequestReference"}));
        EXPECT_EQ(Keys(storage, "General"),
                  (std::vector<std::string>{"Request", "MasterKey", "Keys", "RequestSent", "RequestReceived"}));
        EXPECT_TRUE(storage.ReadBool("General", "RequestReceived", false));
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_TRUE(storage.ReadBool(ids[i], "Signed", false)) << i;
            EXPECT_EQ(storage.ReadString(ids[i], "Name", ""), names[i].toStdString()) << "saved with the receipt";
        }
    }
    for (int row = 0; row < window->ActiveEntityView()->count(); ++row)
        EXPECT_EQ(window->ActiveEntityView()->Item(row)->data(Qt::UserRole).toInt(), 1) << "signed icon, item " << row;
    EXPECT_TRUE(FindNamed<QAction>(*window, "FileDisk")->isEnabled());
    EXPECT_FALSE(FindNamed<QAction>(*window, "RequestReceive")->isEnabled());
    EXPECT_FALSE(FindNamed<QAction>(*window, "FileNew")->isEnabled());
    EXPECT_FALSE(FindNamed<QAction>(*window, "RequestSend")->isEnabled());

    // ---- the first medium: the drive still holds the request, emptied after
    // the save dialog and the question; the proposed name is taken ---------------------
    const std::string storedKey1 = window->Session()->ActiveStorage()->ReadString(ids[1], "KeyFile", "");
    {
        SelectItem(ids[1]);
        QString proposed;
        ModalScript script;
        script
            .Press("OK") // insert a formatted medium
            .Then(ChooseFile({}, &proposed))
            .Press("OK") // its files will be removed
            .Then(Passwords(passwords[1], QStringLiteral("DEFINITIVA1")))
            .Press("OK"); // the key was written there
        const QStringList texts = Run(FindNamed<QAction>(*window, "FileDisk"), script);
        ASSERT_EQ(texts.size(), 5) << texts.join('|').toStdString();
        EXPECT_TRUE(texts[2].contains(U("Todos os arquivos existentes no disquete serão removidos permanentemente.")));
        EXPECT_TRUE(texts[2].contains(U("Serão removidos: {"))) << texts[2].toStdString();
        EXPECT_TRUE(texts[4].contains(U("O certificado eletrônico foi gravado no arquivo Segundo.PRI, na pasta ")))
            << texts[4].toStdString();
        EXPECT_EQ(fs::path(proposed.toStdString()), driveDir / "Segundo.PRI");
    }
    NoKeyFileLeft();
    EXPECT_EQ(KeyFilesIn(driveDir), std::vector<std::string>{"Segundo.PRI"}) << "the request and response are gone";
    const std::string medium1 = ReadFile(driveDir / "Segundo.PRI");
    EXPECT_EQ(medium1.size() * 2, storedKey1.size()) << "the key under its new password";
    {
        const TRequestFile storage = Storage(1);
        EXPECT_FALSE(storage.SectionExists(ids[1])) << "the medium is the only copy now";
        EXPECT_EQ(storage.ReadString("General", "MasterKey", ""), ids[0]);
        EXPECT_EQ(storage.ReadString("General", "Keys", ""), ids[2]);
    }
    EXPECT_EQ(window->ActiveEntityView()->count(), 2);

    // ---- the second medium: the user swaps the medium before answering, and
    // gets the current password wrong twice --------------------------------------------
    const fs::path keptMedium = fs::path(root.path().toStdString()) / "midia1.PRI";
    {
        SelectItem(ids[0]);
        ModalScript script;
        script
            .Then([&](QWidget* Dialog) {
                fs::rename(driveDir / "Segundo.PRI", keptMedium);
                testsupport::ClickButton(Dialog, "OK");
            })
            .Then(ChooseFile("mestre"))
            .Then(Passwords(QStringLiteral("ERRADA01"), QStringLiteral("DEFINITIVA0")))
            .Press("OK")
            .Then(Passwords(QStringLiteral("ERRADA02"), QStringLiteral("DEFINITIVA0")))
            .Press("OK")
            .Then(Passwords(passwords[0], QStringLiteral("DEFINITIVA0")))
            .Press("OK"); // the key was written there
        const QStringList texts = Run(FindNamed<QAction>(*window, "FileDisk"), script);
        ASSERT_EQ(texts.size(), 8) << texts.join('|').toStdString();
        for (int i : {3, 5})
            EXPECT_TRUE(
                texts[i].contains(U("A senha atual para o certificado eletrônico está incorreta. Tente novamente.")))
                << texts[i].toStdString();
    }
    NoKeyFileLeft();
    EXPECT_EQ(KeyFilesIn(driveDir), std::vector<std::string>{"mestre.PRI"}) << "the extension is added";
    EXPECT_EQ(ReadFile(keptMedium), medium1);
    EXPECT_TRUE(OpensWith(keptMedium, QStringLiteral("DEFINITIVA1"))) << "under the password the user chose";
    EXPECT_FALSE(OpensWith(keptMedium, passwords[1]));
    EXPECT_TRUE(OpensWith(driveDir / "mestre.PRI", QStringLiteral("DEFINITIVA0")));
    EXPECT_FALSE(OpensWith(driveDir / "mestre.PRI", passwords[0]));
    {
        const TRequestFile storage = Storage(1);
        EXPECT_FALSE(storage.SectionExists(ids[0]));
        EXPECT_EQ(storage.ReadString("General", "MasterKey", ""), ids[2]) << "the next one is the master";
        EXPECT_EQ(storage.ReadString("General", "Keys", ""), "");
    }
    ASSERT_EQ(window->ActiveEntityView()->count(), 1);
    EXPECT_EQ(window->ActiveEntityView()->Item(0)->Id, ids[2]);

    // ---- a second entity of the same company exports two new certificates -------------
    AddEntity(formtest::OtherValidCNPJ, QStringLiteral("Padaria Boa Vista"));
    ASSERT_EQ(window->Session()->Registry().Count(), 2);
    ASSERT_EQ(window->Session()->Registry().ActiveIndex(), 2);
    std::vector<std::string> exported = {NewCertificate(QStringLiteral("OUTRA001"), QStringLiteral("Filial A")),
                                         NewCertificate(QStringLiteral("OUTRA002"), QStringLiteral("Filial B"))};
    const std::string exportFile = (fs::path(root.path().toStdString()) / "troca.CRT").string();
    {
        ModalScript script;
        QString proposed;
        script.Then(ChooseFile(exportFile.substr(0, exportFile.size() - 4), &proposed)).Press("OK");
        const QStringList texts = Run(FindNamed<QAction>(*window, "FileExport"), script);
        ASSERT_EQ(texts.size(), 2) << texts.join('|').toStdString();
        // A name for the entity exported, not the medium written before.
        EXPECT_TRUE(proposed.endsWith(QStringLiteral("/09876543000141.CRT"))) << proposed.toStdString();
        EXPECT_TRUE(texts[1].contains(U("Foram exportados com sucesso 2 certificados eletrônicos.")));
    }
    NoKeyFileLeft();
    const TRequestFile second = Storage(2);
    {
        const TRequestFile file(exportFile);
        EXPECT_EQ(Sections(file), (std::vector<std::string>{"General", exported[0], exported[1], "Fingerprint"}));
        EXPECT_EQ(Keys(file, "General"), (std::vector<std::string>{"Id", "Keys"}));
        EXPECT_EQ(file.ReadString("General", "Id", ""), "ExportRSACertificates");
        EXPECT_EQ(file.ReadString("General", "Keys", ""), exported[0] + "," + exported[1]);
        for (const std::string& id : exported) {
            EXPECT_EQ(Keys(file, id), (std::vector<std::string>{"PublicKey", "Info", "KeyFile", "Name", "Signed"}));
            for (const char* key : {"PublicKey", "Info", "KeyFile", "Name"})
                EXPECT_EQ(file.ReadString(id, key, ""), second.ReadString(id, key, "")) << key;
            EXPECT_FALSE(file.ReadBool(id, "Signed", true));
        }
        EXPECT_EQ(file.ReadString("Fingerprint", "Value", "").size(), 32u);
        EXPECT_TRUE(second.ReadBool("General", "RequestSent", false));
        EXPECT_EQ(second.ReadString("RequestReference", "00", ""), exported[0]);
        EXPECT_EQ(second.ReadString("RequestReference", "01", ""), exported[1]);
    }
    EXPECT_TRUE(FindNamed<QAction>(*window, "RequestReceive")->isEnabled());

    // ---- the first entity imports them ------------------------------------------------
    QTest::keyClick(FindNamed<QComboBox>(*window, "cbxEntity"), Qt::Key_Up);
    ASSERT_EQ(window->Session()->Registry().ActiveIndex(), 1);
    ASSERT_EQ(window->ActiveEntityView()->count(), 1);
    {
        const std::string received = Storage(1).ReadString("General", "RequestReceived", "");
        ModalScript script;
        script.Then([&](QWidget* Dialog) {
            // A switch of entity typed meanwhile is undone: the import goes
            // to the entity it started on.
            QTest::keyClick(FindNamed<QComboBox>(*window, "cbxEntity"), Qt::Key_Down);
            EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->currentIndex(), 0);
            ChooseFile(exportFile)(Dialog);
        });
        const QStringList texts = Run(FindNamed<QAction>(*window, "FileImport"), script);
        EXPECT_EQ(texts.size(), 1) << texts.join('|').toStdString();
        EXPECT_EQ(window->Session()->Registry().ActiveIndex(), 1);
        const TRequestFile first = Storage(1);
        EXPECT_EQ(first.ReadString("General", "MasterKey", ""), ids[2]);
        EXPECT_EQ(first.ReadString("General", "Keys", ""), exported[0] + "," + exported[1]);
        EXPECT_EQ(first.ReadString("General", "RequestReceived", ""), received) << "the flags stay";
        for (const std::string& id : exported) {
            for (const char* key : {"PublicKey", "Info", "KeyFile", "Name"})
                EXPECT_EQ(first.ReadString(id, key, "?"), second.ReadString(id, key, "")) << key;
            EXPECT_FALSE(first.ReadBool(id, "Signed", true));
        }
    }
    ASSERT_EQ(window->ActiveEntityView()->count(), 3);
    EXPECT_EQ(window->ActiveEntityView()->Item(1)->text(), QStringLiteral("Filial A"));
    EXPECT_EQ(window->ActiveEntityView()->Item(2)->text(), QStringLiteral("Filial B"));
    EXPECT_EQ(window->ActiveEntityView()->Item(1)->data(Qt::UserRole).toInt(), 0) << "not signed";
    NoKeyFileLeft();
}

// ---- the same road with the keyboard alone ------------------------------------------

// The offscreen platform has no window manager: when a dialog closes, no
// window gets the keyboard back, as the window below it does on a desktop.
// The test plays that part.
void ActivateTopWindow()
{
    if (QApplication::activeWindow())
        return;
    QWidget* top = QApplication::activeModalWidget();
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (!top && widget->isVisible() && qobject_cast<QMainWindow*>(widget))
            top = widget;
    if (!top)
        return;
    top->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(top));
}

// Where a key pressed now goes: an open menu or list, else the widget that has
// the keyboard.
QWidget* KeyTarget()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup;
    ActivateTopWindow();
    if (QWidget* focus = QApplication::focusWidget())
        return focus;
    return QApplication::activeModalWidget();
}

void Key(int Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier)
{
    QWidget* target = KeyTarget();
    ASSERT_NE(target, nullptr) << "no widget takes the keyboard";
    QTest::keyClick(target, Qt::Key(Key), Modifiers);
}

// Key by key, each to wherever the keyboard is at that moment.
void Type(const QString& Text)
{
    for (QChar c : Text) {
        QWidget* target = KeyTarget();
        ASSERT_NE(target, nullptr) << "no widget takes the keyboard";
        QTest::keyClicks(target, QString(c));
    }
}

// A dialog that opens without the keyboard in it loses what is typed at once.
void ExpectKeyboardIn(QWidget* Dialog)
{
    QWidget* focus = QApplication::focusWidget();
    EXPECT_TRUE(focus && (focus == Dialog || Dialog->isAncestorOf(focus)))
        << Dialog->objectName().toStdString() << " opens with the keyboard on "
        << (focus ? focus->objectName().toStdString() : std::string("nothing"));
}

// A message answered with Enter (its default button) or Escape.
ModalScript::Step Answer(int Key_)
{
    return [Key_](QWidget* Dialog) {
        ExpectKeyboardIn(Dialog);
        Key(Key_);
    };
}

// Types the passwords the dialog asks for, Tab between them, Enter for OK.
ModalScript::Step TypePasswords(const QString& Current, const QString& New = {})
{
    return [Current, New](QWidget* Dialog) {
        ExpectKeyboardIn(Dialog);
        auto* pwd = qobject_cast<TFrmPwd*>(Dialog);
        ASSERT_NE(pwd, nullptr) << Dialog->objectName().toStdString();
        QTest::qWait(pwd->KeySettleMs + 50); // the user reads the dialog first
        QStringList fields;
        if (pwd->PWD)
            fields << Current;
        if (pwd->NewPWD)
            fields << New << New;
        for (int i = 0; i < fields.size(); ++i) {
            if (i > 0)
                Key(Qt::Key_Tab);
            Type(fields[i]);
        }
        Key(Qt::Key_Return);
    };
}

// Fills the seed dialog with key presses until it closes itself.
void PressKeysOverSeed(QWidget* Dialog)
{
    ExpectKeyboardIn(Dialog);
    const QString keys = QStringLiteral("QWERTYUIOPASDFGHJKLZXCVBNM");
    for (int i = 0; i < 400 && Dialog->isVisible(); ++i)
        Type(keys.mid(i % keys.size(), 1));
    EXPECT_FALSE(Dialog->isVisible()) << "the seed dialog closes by itself when full";
    if (Dialog->isVisible())
        Key(Qt::Key_Escape);
}

// Types a path into Qt's file dialog (where the keyboard starts) and Enter;
// an empty path takes the name proposed.
ModalScript::Step TypePath(const std::string& Path)
{
    return [Path](QWidget* Dialog) {
        ExpectKeyboardIn(Dialog);
        if (!Path.empty()) {
            Key(Qt::Key_A, Qt::ControlModifier);
            Type(QString::fromStdString(Path));
        }
        Key(Qt::Key_Return);
    };
}

class KeyboardRoadGuiTest : public CertificateRoadGuiTest {
protected:
    bool FixedDrive() const override { return false; }

    void SetUp() override
    {
        ::unsetenv("QUORVEX_DRIVE_A");
        ASSERT_TRUE(settings.isValid());
        // Neither the desktop's volumes nor a choice remembered elsewhere.
        mountsTable = settings.filePath(QStringLiteral("mounts"));
        QFile(mountsTable).open(QIODevice::WriteOnly);
        std::swap(RemovableMediaDialog::SystemMountsTable, mountsTable);
        CertificateRoadGuiTest::SetUp();
    }
    void TearDown() override
    {
        CertificateRoadGuiTest::TearDown();
        std::swap(RemovableMediaDialog::SystemMountsTable, mountsTable);
    }

    // Runs what the keys start (a shortcut or a menu walk); the script
    // answers the dialogs. Returns their texts.
    QStringList Press(ModalScript& Script, const std::function<void()>& Keys)
    {
        Keys();
        QCoreApplication::processEvents();
        EXPECT_EQ(Script.unexpected, 0) << Script.texts.join('|').toStdString();
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "no menu left open";
        return Script.texts;
    }

    // A new certificate (the seed and password dialogs answered by keys),
    // named in the caption editor that opens on it. Returns its identifier.
    std::string NewCertificate(const std::function<void()>& Keys, const QString& Password, const QString& Name)
    {
        const int before = window->ActiveEntityView() ? window->ActiveEntityView()->count() : 0;
        ModalScript script;
        script.Then(PressKeysOverSeed).Then(TypePasswords({}, Password));
        Press(script, Keys);
        EXPECT_EQ(script.texts.size(), 2) << script.texts.join('|').toStdString();
        TCustomView* view = window->ActiveEntityView();
        if (!view || view->count() != before + 1) {
            ADD_FAILURE() << "no item for the new certificate";
            return {};
        }
        TCustomItem* item = view->Item(before);
        const std::string id = item->Id;
        ActivateTopWindow();
        QWidget* editor = QApplication::focusWidget();
        EXPECT_TRUE(qobject_cast<QLineEdit*>(editor) && view->isAncestorOf(editor))
            << "the keyboard is in the caption editor";
        // The proposed name is selected: typing replaces it. The view takes
        // the caption after the editor has seen the Enter, at the next turn
        // of the event loop.
        Type(Name);
        Key(Qt::Key_Return);
        QCoreApplication::processEvents();
        EXPECT_EQ(item->text(), Name);
        EXPECT_EQ(window->Session()->ActiveStorage()->ReadString(id, "Name", ""), Name.toStdString());
        return id;
    }

    QTemporaryDir settings;
    ScopedEnvironment config{"XDG_CONFIG_HOME", settings.path().toStdString()};
    QString mountsTable;
};

TEST_F(KeyboardRoadGuiTest, FromAnEmptyFolderToAWrittenMediumWithKeysAlone)
{
    // ---- register the entity, the CNPJ typed at once and in lower case ---------
    {
        ModalScript script;
        script.Then([](QWidget* Dialog) {
            ExpectKeyboardIn(Dialog);
            Type(QStringLiteral("12abc34501de35"));
            Key(Qt::Key_Tab);
            Type(QStringLiteral("Padaria Boa Vista"));
            Key(Qt::Key_Tab);
            Type(QStringLiteral("6133334444"));
            Key(Qt::Key_Tab, Qt::ControlModifier); // the address page
            for (const char* field : {"Rua das Flores, 12", "Centro", "Brasilia", "70000000", "DF"}) {
                Type(QString::fromUtf8(field));
                Key(Qt::Key_Tab);
            }
            Type(QStringLiteral("contato@padaria.com.br"));
            Key(Qt::Key_Tab, Qt::ControlModifier); // the responsible persons
            Type(QStringLiteral("Maria da Silva"));
            Key(Qt::Key_Return);
            Type(formtest::ValidCPF);
            Key(Qt::Key_Return);
            Key(Qt::Key_O, Qt::AltModifier);
        });
        Press(script, [] { Key(Qt::Key_E, Qt::ControlModifier); });
    }
    ASSERT_EQ(window->Session()->Registry().Count(), 1) << "the entity is registered";

    // ---- two certificates: by the shortcut and through the menu -------------------
    const QString passwords[] = {QStringLiteral("SENHA001"), QStringLiteral("SENHA002")};
    const QString names[] = {QStringLiteral("Primeiro"), QStringLiteral("Segundo")};
    std::vector<std::string> ids;
    ids.push_back(NewCertificate([] { Key(Qt::Key_N, Qt::ControlModifier); }, passwords[0], names[0]));
    ids.push_back(NewCertificate(
        [] {
            Key(Qt::Key_A, Qt::AltModifier);
            Key(Qt::Key_N);
        },
        passwords[1], names[1]));
    ASSERT_FALSE(ids[0].empty() || ids[1].empty());

    // ---- the medium: another folder, chosen in the removable-medium dialog ----------
    {
        ModalScript script;
        script
            .Then([&](QWidget* Dialog) {
                ExpectKeyboardIn(Dialog);
                Key(Qt::Key_Tab); // from the list of mounted volumes to "Outra pasta..."
                Key(Qt::Key_Space);
                Key(Qt::Key_Return); // the folder chosen: OK
            })
            .Then(TypePath(driveDir.string()));
        Press(script, [] {
            Key(Qt::Key_A, Qt::AltModifier);
            Key(Qt::Key_L);
        });
        EXPECT_EQ(script.texts.size(), 2) << script.texts.join('|').toStdString();
    }

    // ---- send the request ----------------------------------------------------------
    std::string requestFile;
    {
        ModalScript script;
        script.Then(TypePasswords(passwords[0]))
            .Then(Answer(Qt::Key_Return))  // insert a formatted medium: OK
            .Then(Answer(Qt::Key_Return))  // the request was written there: OK
            .Then(Answer(Qt::Key_Escape)); // the agreement: not now
        const QStringList texts = Press(script, [&] {
            Key(Qt::Key_R, Qt::AltModifier);
            // "Nova Entidade..." and "Enviar" share their letter, which then
            // moves between them: pressed until "Enviar" is highlighted.
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (int i = 0; i < 3 && menu->activeAction() != FindNamed<QAction>(*window, "RequestSend"); ++i)
                Key(Qt::Key_E);
            ASSERT_EQ(menu->activeAction(), FindNamed<QAction>(*window, "RequestSend"));
            Key(Qt::Key_Return);
        });
        ASSERT_EQ(texts.size(), 4) << texts.join('|').toStdString();
        requestFile = Storage(1).ReadString("RequestReference", "FileName", "");
        ASSERT_EQ(fs::path(requestFile).parent_path(), driveDir) << "written to the chosen medium";
        const TRequestFile request(requestFile);
        EXPECT_EQ(request.ReadString("General", "Inscricao", ""), "12ABC34501DE35");
        EXPECT_EQ(request.ReadString("General", "UF", ""), "DF");
        EXPECT_EQ(request.ReadString("General", "Email", ""), "contato@padaria.com.br");
        EXPECT_EQ(request.ReadString("General", "Num_Keys", ""), "2");
    }
    NoKeyFileLeft();

    // ---- the authority answers; receive ------------------------------------------------
    const std::string response = requestFile.substr(0, requestFile.size() - 4) + ".CNS";
    {
        const testsupport::ToolResult answer = testsupport::RunTool(
            "qvauthority", Quote((fs::path(root.path().toStdString()) / "ca").string()) + " " + Quote(requestFile));
        ASSERT_EQ(answer.code, 0) << answer.out;
    }
    {
        ModalScript script;
        script
            .Then(Answer(Qt::Key_Return)) // the authority's medium is in the drive
            .Then(TypePath(response))
            .Then(TypePasswords(passwords[0]))
            .Then(TypePasswords(passwords[1]))
            .Then(Answer(Qt::Key_Return)); // the summary
        const QStringList texts = Press(script, [] {
            Key(Qt::Key_R, Qt::AltModifier);
            Key(Qt::Key_R);
        });
        ASSERT_EQ(texts.size(), 5) << texts.join('|').toStdString();
        EXPECT_TRUE(texts[4].contains(U("Foram incorporados com sucesso 2 certificados eletrônicos assinados.")))
            << texts[4].toStdString();
    }
    for (const std::string& id : ids)
        EXPECT_TRUE(Storage(1).ReadBool(id, "Signed", false)) << id;

    // ---- the second certificate to its medium: chosen in the list by the arrows -------
    for (int i = 0; i < 10 && QApplication::focusWidget() != window->ActiveEntityView(); ++i)
        Key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), window->ActiveEntityView()) << "Tab reaches the certificates";
    Key(Qt::Key_Home);
    Key(Qt::Key_Right);
    ASSERT_NE(window->ActiveEntityView()->Selected(), nullptr);
    ASSERT_EQ(window->ActiveEntityView()->Selected()->Id, ids[1]);
    {
        ModalScript script;
        script
            .Then(Answer(Qt::Key_Return)) // insert a formatted medium
            .Then(TypePath({}))           // the name proposed
            .Then([](QWidget* Dialog) {   // its files will be removed: Enter
                ExpectKeyboardIn(Dialog); // would cancel, so OK is chosen
                Key(Qt::Key_Backtab);
                Key(Qt::Key_Return);
            })
            .Then(TypePasswords(passwords[1], QStringLiteral("DEFINITIVA1")))
            .Then(Answer(Qt::Key_Return)); // the key was written there: OK
        const QStringList texts = Press(script, [] { Key(Qt::Key_D, Qt::ControlModifier); });
        ASSERT_EQ(texts.size(), 5) << texts.join('|').toStdString();
    }
    NoKeyFileLeft();
    EXPECT_EQ(KeyFilesIn(driveDir), std::vector<std::string>{"Segundo.PRI"});
    EXPECT_TRUE(OpensWith(driveDir / "Segundo.PRI", QStringLiteral("DEFINITIVA1")));
    EXPECT_FALSE(Storage(1).SectionExists(ids[1])) << "the medium is the only copy now";
    EXPECT_EQ(window->ActiveEntityView()->count(), 1);
}

} // namespace

// Registering, correcting and removing entities through the real main
// window over a temporary program folder: the request form is filled in as a
// user would, and the data files are read back from disk.
#include "app/TForm1.h"
#include "app/steps/TEntitySession.h"

#include "app/TViews.h"
#include "store/AtomicFileWriter.h"
#include "store/StoreErrors.h"
#include "store/TFrmRequest.h"
#include "store/TFrmRequestTestSupport.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"
#include "ui/HtmlView.h"
#include "ui/TDialog.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "support/FindNamed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

using formtest::ModalScript;

namespace {

namespace fs = std::filesystem;

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

const char* const RemoveQuestion =
    "Você está prestes a remover permanentemente a entidade selecionada. Tem certeza de que deseja continuar?";

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Keys(const TRequestFile& file, const std::string& section)
{
    std::vector<std::string> names;
    file.ReadSection(section, names);
    return names;
}

class EntityActionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        appDir = dir.path().toStdString() + "/";
    }

    void TearDown() override { Stop(); }

    // Closes the window as the program does at its end; shutdown must save
    // without a complaint.
    void Stop()
    {
        if (!window)
            return;
        ModalScript script;
        window.reset();
        EXPECT_EQ(script.texts.size(), 0) << script.texts.join('|').toStdString();
    }

    void Start()
    {
        window = std::make_unique<TForm1>(appDir);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // The data files as they are on disk now.
    TRequestFile Entities() const { return TRequestFile(appDir + "ENTITY.DAT"); }
    TRequestFile Storage(int n) const { return TRequestFile(appDir + "STORAGE." + std::to_string(n) + ".DAT"); }
    bool StorageExists(int n) const { return fs::exists(appDir + "STORAGE." + std::to_string(n) + ".DAT"); }

    // Runs the new-entity action; the form that opens is filled in with the
    // given identifier, name and extra responsible persons and accepted.
    // Returns the form's caption.
    QString AddEntity(const QString& id, const QString& name, const QStringList& extraPersons = {})
    {
        QString caption;
        ModalScript script;
        script.Then([&](QWidget* dialog) {
            auto* form = qobject_cast<TFrmRequest*>(dialog);
            if (!form)
                return;
            caption = form->windowTitle();
            formtest::FillValid(*form, id, 0, name);
            for (int i = 0; i + 1 < extraPersons.size(); i += 2)
                formtest::AddResp(*form, extraPersons[i], extraPersons[i + 1]);
            QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
        });
        FindNamed<QAction>(*window, "RequestAdd")->trigger();
        EXPECT_EQ(script.unexpected, 0) << script.texts.join('|').toStdString();
        return caption;
    }

    // Runs the new-entity action and cancels the form.
    void CancelNewEntity()
    {
        ModalScript script;
        script.Then([](QWidget* dialog) {
            if (auto* form = qobject_cast<TFrmRequest*>(dialog))
                QTest::mouseClick(form->ButtonCancel, Qt::LeftButton);
        });
        FindNamed<QAction>(*window, "RequestAdd")->trigger();
        EXPECT_EQ(script.texts.size(), 1);
        EXPECT_EQ(script.unexpected, 0);
    }

    // Runs the removal and answers its question with the given button;
    // returns the question's text.
    QString RemoveEntity(const QString& answer)
    {
        ModalScript script;
        QString buttons;
        script.Then([&](QWidget* dialog) {
            for (const char* name : {"OK", "Cancelar", "Sim", "Não"})
                if (testsupport::FindButton(dialog, U(name)))
                    buttons += U(name) + ";";
            testsupport::ClickButton(dialog, answer);
        });
        FindNamed<QAction>(*window, "RequestRemove")->trigger();
        EXPECT_EQ(buttons, QStringLiteral("OK;Cancelar;"));
        EXPECT_EQ(script.unexpected, 0);
        return script.texts.value(0);
    }

    QTemporaryDir dir;
    std::string appDir;
    std::unique_ptr<TForm1> window;
};

} // namespace

TEST_F(EntityActionsTest, NewEntityIsWrittenToTheRegistryAndItsStorage)
{
    Start();
    const QString caption = AddEntity(formtest::ValidCNPJ, QStringLiteral("Padaria Boa Vista"),
                                      {"Bruno", formtest::OtherCPF, "Carla", "22233344405"});
    EXPECT_EQ(caption, U("Cadastrar Nova Entidade"));

    const TRequestFile entities = Entities();
    EXPECT_EQ(entities.ReadInteger("General", "Count", -1), 1) << ReadBytes(appDir + "ENTITY.DAT");
    EXPECT_EQ(entities.ReadInteger("General", "CountAll", -1), 1);
    EXPECT_EQ(entities.ReadInteger("General", "ActiveIndex", -1), 1);
    EXPECT_EQ(Keys(entities, "Entity1"),
              (std::vector<std::string>{"filename", "Profile", "Tipo_Inscricao", "Inscricao", "Razao", "Endereco",
                                        "Bairro", "Cidade", "UF", "CEP", "Telefone", "Email", "Index"}));
    EXPECT_EQ(entities.ReadString("Entity1", "Razao", ""), "PADARIA BOA VISTA");
    EXPECT_EQ(entities.ReadString("Entity1", "Inscricao", ""), "11222333000181");
    EXPECT_EQ(entities.ReadString("Entity1", "Tipo_Inscricao", ""), "01");
    EXPECT_EQ(entities.ReadString("Entity1", "Profile", ""), "01");
    EXPECT_EQ(entities.ReadString("Entity1", "Email", ""), "contato@padaria.com.br");
    EXPECT_EQ(entities.ReadInteger("Entity1", "Index", 0), 1);

    const TRequestFile storage = Storage(1);
    EXPECT_TRUE(storage.ReadBool("General", "Request", false));
    EXPECT_EQ(Keys(storage, "Request"),
              (std::vector<std::string>{"Profile", "Tipo_Inscricao", "Inscricao", "Razao", "Endereco", "Bairro",
                                        "Cidade", "UF", "CEP", "Telefone", "Email"}));
    EXPECT_EQ(storage.ReadString("Request", "Razao", ""), "PADARIA BOA VISTA");
    EXPECT_EQ(storage.ReadString("Request", "Endereco", ""), "RUA DAS FLORES, 12");
    EXPECT_EQ(storage.ReadString("Request", "UF", ""), "DF");
    EXPECT_EQ(Keys(storage, "Resp"),
              (std::vector<std::string>{"Resp1", "Cpf1", "Resp2", "Cpf2", "Resp3", "Cpf3", "RespCount"}));
    EXPECT_EQ(storage.ReadInteger("Resp", "RespCount", 0), 3);
    EXPECT_EQ(storage.ReadString("Resp", "Resp1", ""), "MARIA DA SILVA");
    EXPECT_EQ(storage.ReadString("Resp", "Cpf2", ""), formtest::OtherCPF.toStdString());
    EXPECT_EQ(storage.ReadString("Resp", "Resp3", ""), "CARLA");

    // The window follows: selector, actions, tip and caption.
    ASSERT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->count(), 1);
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->currentText(),
              QStringLiteral("1 - PADARIA BOA VISTA (11222333000181)"));
    EXPECT_TRUE(FindNamed<QAction>(*window, "FileNew")->isEnabled());
    EXPECT_TRUE(FindNamed<QAction>(*window, "FileDeal")->isEnabled());
    EXPECT_TRUE(FindNamed<QAction>(*window, "RequestFill")->isEnabled());
    EXPECT_TRUE(FindNamed<QAction>(*window, "RequestRemove")->isEnabled());
    EXPECT_FALSE(FindNamed<QAction>(*window, "FileRemove")->isEnabled());
    EXPECT_FALSE(FindNamed<QAction>(*window, "RequestSend")->isEnabled());
    EXPECT_TRUE(FindNamed<HtmlView>(*window, "Tip")->toHtml().contains(QStringLiteral("href=\"FileNew\"")));
    EXPECT_EQ(window->windowTitle(), U("Cliente de Certificação Quorvex - Entidade Ativa: PADARIA BOA VISTA"));
    EXPECT_EQ(window->Session()->ActiveStorage(), window->Session()->Registry().Storage(1));
    EXPECT_EQ(window->Session()->Registry().Entity(1)->Index, 1);
}

// What reaches the data files when the name holds letters and signs the
// filters refuse, and a person is typed but not added: the name keeps one
// space between its words, and the person is asked about while the CPF is
// wrong, then kept once it is right.
TEST_F(EntityActionsTest, TypedNameAndAPersonNotAddedReachTheDataFilesAsShown)
{
    Start();
    ModalScript script;
    QString shownName;
    script
        .Then([&](QWidget* dialog) {
            auto* form = qobject_cast<TFrmRequest*>(dialog);
            if (!form)
                return;
            formtest::FillValid(*form, formtest::ValidCNPJ, 0, QStringLiteral("x"));
            form->PageControl1->setCurrentWidget(form->TabId);
            form->EditName->clear();
            formtest::TypeText(form->EditName, U("Padaria Conceição & Filhos"));
            shownName = form->EditName->text();
            form->PageControl1->setCurrentWidget(form->TabLocale);
            form->EditAddress->clear();
            formtest::TypeText(form->EditAddress, U("Rua  São José & Cia,  12 "));
            form->PageControl1->setCurrentWidget(form->TabResp);
            formtest::TypeText(form->EdtResp, U("José Ação da Silva"));
            form->EdtCpfResp->setFocus();
            QTest::keyClicks(form->EdtCpfResp, QStringLiteral("11144477736"));
            QTest::mouseClick(form->ButtonOK, Qt::LeftButton); // asked; Enter keeps the form
            EXPECT_TRUE(form->isVisible());
            form->EdtCpfResp->selectAll();
            QTest::keyClicks(form->EdtCpfResp, QStringLiteral("11144477735"));
            QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
        })
        .Then([](QWidget* question) {
            QWidget* focus = question->focusWidget();
            QTest::keyClick(focus ? focus : question, Qt::Key_Return);
        });
    FindNamed<QAction>(*window, "RequestAdd")->trigger();
    ASSERT_EQ(script.texts.size(), 2) << script.texts.join('|').toStdString();
    EXPECT_TRUE(script.texts[1].contains(U("CPF: 11144477736"))) << script.texts[1].toStdString();
    EXPECT_EQ(script.unexpected, 0);
    EXPECT_EQ(shownName, QStringLiteral("PADARIA CONCEICAO FILHOS"));

    const TRequestFile entities = Entities();
    EXPECT_EQ(entities.ReadString("Entity1", "Razao", ""), "PADARIA CONCEICAO FILHOS");
    const TRequestFile storage = Storage(1);
    EXPECT_EQ(storage.ReadString("Request", "Razao", ""), "PADARIA CONCEICAO FILHOS");
    EXPECT_EQ(storage.ReadString("Request", "Endereco", ""), "RUA SAO JOSE & CIA, 12");
    EXPECT_EQ(storage.ReadInteger("Resp", "RespCount", 0), 2);
    EXPECT_EQ(storage.ReadString("Resp", "Resp1", ""), "MARIA DA SILVA");
    EXPECT_EQ(storage.ReadString("Resp", "Resp2", ""), "JOSE ACAO DA SILVA");
    EXPECT_EQ(storage.ReadString("Resp", "Cpf2", ""), "11144477735");
}

TEST_F(EntityActionsTest, CorrectionRewritesTheResponsiblePersonsAndKeepsCertificates)
{
    Start();
    AddEntity(formtest::ValidCNPJ, QStringLiteral("Padaria"), {"Bruno", formtest::OtherCPF, "Carla", "22233344405"});
    // A certificate made meanwhile must survive the correction.
    window->Session()->ActiveStorage()->WriteString("General", "MasterKey", "{00000001-1111-2222-3333-000000000007}");
    window->Session()->ActiveStorage()->UpdateFile();

    QString caption;
    QStringList loadedNames;
    ModalScript script;
    script.Then([&](QWidget* dialog) {
        auto* form = qobject_cast<TFrmRequest*>(dialog);
        if (!form)
            return;
        caption = form->windowTitle();
        loadedNames << form->EditName->text();
        for (int i = 0; i < form->ltvResp->topLevelItemCount(); ++i)
            loadedNames << form->ltvResp->topLevelItem(i)->text(1);
        // Keep only the second person, and correct the name.
        form->PageControl1->setCurrentWidget(form->TabResp);
        for (int row : {2, 0}) {
            form->ltvResp->setCurrentItem(form->ltvResp->topLevelItem(row));
            QTest::mouseClick(form->BtnRemover, Qt::LeftButton);
        }
        form->PageControl1->setCurrentWidget(form->TabId);
        form->EditName->clear();
        QTest::keyClicks(form->EditName, QStringLiteral("Padaria Nova"));
        QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    });
    FindNamed<QAction>(*window, "RequestFill")->trigger();
    EXPECT_EQ(script.unexpected, 0) << script.texts.join('|').toStdString();
    EXPECT_EQ(caption, U("Requisição"));
    EXPECT_EQ(loadedNames, (QStringList{"PADARIA", "MARIA DA SILVA", "BRUNO", "CARLA"}));

    const TRequestFile storage = Storage(1);
    EXPECT_EQ(Keys(storage, "Resp"), (std::vector<std::string>{"Resp1", "Cpf1", "RespCount"}));
    EXPECT_EQ(storage.ReadString("Resp", "Resp1", ""), "BRUNO");
    EXPECT_EQ(storage.ReadString("Resp", "Cpf1", ""), formtest::OtherCPF.toStdString());
    EXPECT_EQ(storage.ReadInteger("Resp", "RespCount", 0), 1);
    EXPECT_EQ(storage.ReadString("Request", "Razao", ""), "PADARIA NOVA");
    EXPECT_EQ(storage.ReadString("General", "MasterKey", ""), "{00000001-1111-2222-3333-000000000007}");

    const TRequestFile entities = Entities();
    EXPECT_EQ(entities.ReadString("Entity1", "Razao", ""), "PADARIA NOVA");
    EXPECT_EQ(entities.ReadInteger("General", "Count", 0), 1);
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->currentText(),
              QStringLiteral("1 - PADARIA NOVA (11222333000181)"));
    EXPECT_EQ(window->Session()->Registry().Entity(1)->Razao, "PADARIA NOVA");
    EXPECT_EQ(window->windowTitle(), U("Cliente de Certificação Quorvex - Entidade Ativa: PADARIA NOVA"));
    // With a certificate the next step is sending the request.
    EXPECT_TRUE(FindNamed<QAction>(*window, "RequestSend")->isEnabled());
}

TEST_F(EntityActionsTest, CancelledNewEntityUsesUpItsNumberAndReturnsToTheEntityShown)
{
    Start();
    AddEntity(formtest::ValidCNPJ, QStringLiteral("Primeira"));
    AddEntity(formtest::OtherValidCNPJ, QStringLiteral("Segunda"));
    // Back to the first entity, as the user would through the selector.
    FindNamed<QComboBox>(*window, "cbxEntity")->setCurrentIndex(0);
    window->cbxEntityChange();
    ASSERT_EQ(window->Session()->Registry().ActiveIndex(), 1);

    CancelNewEntity();

    const TRequestFile entities = Entities();
    EXPECT_EQ(entities.ReadInteger("General", "Count", -1), 2);
    EXPECT_EQ(entities.ReadInteger("General", "CountAll", -1), 3);
    EXPECT_TRUE(entities.ReadBool("Entity3", "DELETED", false));
    EXPECT_FALSE(StorageExists(3));
    EXPECT_TRUE(StorageExists(1));
    EXPECT_TRUE(StorageExists(2));

    // Window and registry name the same entity: the one shown before.
    EXPECT_EQ(window->Session()->Registry().ActiveIndex(), 1);
    EXPECT_EQ(entities.ReadInteger("General", "ActiveIndex", -1), 1);
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->count(), 2);
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->currentIndex(), 0);
    EXPECT_EQ(window->Session()->ActiveStorage(), window->Session()->Registry().Storage(1));
    EXPECT_EQ(window->EntityViews()->ShownIndex(), 1);
    EXPECT_EQ(window->windowTitle(), U("Cliente de Certificação Quorvex - Entidade Ativa: PRIMEIRA"));

    // The cancelled number is never issued again.
    AddEntity(QStringLiteral("11444777000161"), QStringLiteral("Terceira"));
    const TRequestFile after = Entities();
    EXPECT_EQ(after.ReadInteger("General", "CountAll", -1), 4);
    EXPECT_EQ(after.ReadString("Entity4", "Razao", ""), "TERCEIRA");
    EXPECT_EQ(after.ReadInteger("Entity4", "Index", 0), 4);
    EXPECT_TRUE(StorageExists(4));
    EXPECT_EQ(window->Session()->Registry().ActiveIndex(), 3);
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->currentText(),
              QStringLiteral("3 - TERCEIRA (11444777000161)"));
}

TEST_F(EntityActionsTest, CancelledFirstEntityLeavesTheNoEntityState)
{
    Start();
    CancelNewEntity();
    const TRequestFile entities = Entities();
    EXPECT_EQ(entities.ReadInteger("General", "Count", -1), 0);
    EXPECT_EQ(entities.ReadInteger("General", "CountAll", -1), 1);
    EXPECT_EQ(entities.ReadInteger("General", "ActiveIndex", -1), 0);
    EXPECT_TRUE(entities.ReadBool("Entity1", "DELETED", false));
    EXPECT_FALSE(StorageExists(1));
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->count(), 0);
    EXPECT_EQ(window->Session()->ActiveStorage(), nullptr);
    EXPECT_FALSE(FindNamed<QAction>(*window, "RequestFill")->isEnabled());
    EXPECT_FALSE(FindNamed<QAction>(*window, "RequestRemove")->isEnabled());
    EXPECT_TRUE(FindNamed<QAction>(*window, "RequestAdd")->isEnabled());
    EXPECT_TRUE(FindNamed<HtmlView>(*window, "Tip")->toHtml().contains(QStringLiteral("href=\"RequestAdd\"")));
}

// The question says which entity it removes, on a line of its own: the
// active one, whichever the list shows first.
TEST_F(EntityActionsTest, RemovalQuestionNamesTheEntityItRemoves)
{
    Start();
    AddEntity(formtest::ValidCNPJ, QStringLiteral("Primeira"));
    AddEntity(formtest::OtherValidCNPJ, QStringLiteral("Segunda"));
    const struct {
        int position;
        const char* line;
    } rows[] = {
        {2, "Entidade: SEGUNDA - CNPJ: 09876543000141"},
        {1, "Entidade: PRIMEIRA - CNPJ: 11222333000181"},
    };
    // With QUORVEX_SCREENSHOT_DIR set, a PNG of the question is saved there.
    FindNamed<TDialog>(*window, "Dlg")->BeforeShow = [](QWidget* Question) {
        if (const QByteArray out = qgetenv("QUORVEX_SCREENSHOT_DIR"); !out.isEmpty())
            Question->grab().save(QString::fromLocal8Bit(out) + QStringLiteral("/entity-remove-question.png"));
    };
    for (const auto& row : rows) {
        FindNamed<QComboBox>(*window, "cbxEntity")
            ->setCurrentIndex(FindNamed<QComboBox>(*window, "cbxEntity")->findData(row.position));
        window->cbxEntityChange();
        const QString question = RemoveEntity(QStringLiteral("Cancelar")).trimmed();
        EXPECT_EQ(question.section(QLatin1Char('\n'), -1), U(row.line)) << question.toStdString();
        EXPECT_TRUE(question.startsWith(U(RemoveQuestion))) << question.toStdString();
    }
    EXPECT_EQ(window->Session()->Count(), 2);
}

TEST_F(EntityActionsTest, RemovingTheOnlyEntityReturnsToTheNoEntityState)
{
    Start();
    AddEntity(formtest::ValidCNPJ, QStringLiteral("Unica"));
    ASSERT_TRUE(StorageExists(1));

    const QString question = RemoveEntity(QStringLiteral("OK"));
    EXPECT_TRUE(question.contains(U(RemoveQuestion))) << question.toStdString();

    const TRequestFile entities = Entities();
    EXPECT_EQ(entities.ReadInteger("General", "Count", -1), 0);
    EXPECT_EQ(entities.ReadInteger("General", "CountAll", -1), 1);
    EXPECT_EQ(entities.ReadInteger("General", "ActiveIndex", -1), 0);
    EXPECT_TRUE(entities.ReadBool("Entity1", "DELETED", false));
    EXPECT_TRUE(entities.SectionExists("Entity1")) << "a removed entity keeps its section";
    EXPECT_EQ(entities.ReadString("Entity1", "Razao", "none"), "") << "but not its data";
    EXPECT_FALSE(StorageExists(1));

    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->count(), 0);
    EXPECT_EQ(window->Session()->ActiveStorage(), nullptr);
    EXPECT_EQ(window->Session()->ActiveEntity(), nullptr);
    for (QAction* action : {FindNamed<QAction>(*window, "FileNew"), FindNamed<QAction>(*window, "FileDeal"),
                            FindNamed<QAction>(*window, "FileRemove"), FindNamed<QAction>(*window, "FileRename"),
                            FindNamed<QAction>(*window, "FileDisk"), FindNamed<QAction>(*window, "FileImport"),
                            FindNamed<QAction>(*window, "FileExport"), FindNamed<QAction>(*window, "RequestFill"),
                            FindNamed<QAction>(*window, "RequestRemove"), FindNamed<QAction>(*window, "RequestSend"),
                            FindNamed<QAction>(*window, "RequestReceive")})
        EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
    EXPECT_TRUE(FindNamed<QAction>(*window, "RequestAdd")->isEnabled());
    EXPECT_TRUE(FindNamed<HtmlView>(*window, "Tip")->toHtml().contains(QStringLiteral("href=\"RequestAdd\"")));
    EXPECT_EQ(window->windowTitle(), U("Cliente de Certificação Quorvex"));

    // The steps behind the tip's links find nothing to work on and ask nothing.
    ModalScript none;
    window->TipHotSpotClick(QStringLiteral("RequestFill"));
    window->RequestRemoveExecute();
    EXPECT_EQ(none.texts.size(), 0);
}

TEST_F(EntityActionsTest, CancelOnTheRemovalQuestionKeepsEverything)
{
    Start();
    AddEntity(formtest::ValidCNPJ, QStringLiteral("Primeira"));
    AddEntity(formtest::OtherValidCNPJ, QStringLiteral("Segunda"));
    const std::string entitiesBefore = ReadBytes(appDir + "ENTITY.DAT");
    const std::string storageBefore = ReadBytes(appDir + "STORAGE.2.DAT");

    RemoveEntity(QStringLiteral("Cancelar"));

    EXPECT_EQ(ReadBytes(appDir + "ENTITY.DAT"), entitiesBefore);
    EXPECT_EQ(ReadBytes(appDir + "STORAGE.2.DAT"), storageBefore);
    EXPECT_EQ(window->Session()->Registry().Count(), 2);
    EXPECT_EQ(window->Session()->Registry().ActiveIndex(), 2);
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->count(), 2);
}

TEST_F(EntityActionsTest, RemovingTheActiveEntityActivatesTheOneBefore)
{
    Start();
    AddEntity(formtest::ValidCNPJ, QStringLiteral("Primeira"));
    AddEntity(formtest::OtherValidCNPJ, QStringLiteral("Segunda"));
    AddEntity(QStringLiteral("11444777000161"), QStringLiteral("Terceira"));
    FindNamed<QComboBox>(*window, "cbxEntity")->setCurrentIndex(1);
    window->cbxEntityChange();
    ASSERT_EQ(window->Session()->Registry().ActiveIndex(), 2);

    RemoveEntity(QStringLiteral("OK"));

    EXPECT_FALSE(StorageExists(2));
    EXPECT_TRUE(Entities().ReadBool("Entity2", "DELETED", false));
    EXPECT_EQ(window->Session()->Registry().ActiveIndex(), 1);
    EXPECT_EQ(window->Session()->ActiveStorage(), window->Session()->Registry().Storage(1));
    EXPECT_EQ(window->EntityViews()->ShownIndex(), 1);
    ASSERT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->count(), 2);
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->currentText(),
              QStringLiteral("1 - PRIMEIRA (11222333000181)"));
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->itemText(1), QStringLiteral("2 - TERCEIRA (11444777000161)"));
    EXPECT_EQ(window->windowTitle(), U("Cliente de Certificação Quorvex - Entidade Ativa: PRIMEIRA"));
}

namespace {
// Lets the first writes through, then refuses every other one.
class FailingAfterWriter : public AtomicFileWriter {
public:
    explicit FailingAfterWriter(int allowed) : allowed_(allowed) {}
    void WriteFile(const std::string& FileName, std::string_view Bytes) override
    {
        if (allowed_-- > 0)
            return AtomicFileWriter::WriteFile(FileName, Bytes);
        throw EFCreateError(FileErrors::CannotCreateFile(FileName));
    }

private:
    int allowed_;
};
} // namespace

TEST_F(EntityActionsTest, RemovalWhoseLastSaveFailsLeavesTheWindowOnALiveEntity)
{
    Start();
    AddEntity(formtest::ValidCNPJ, QStringLiteral("Primeira"));
    AddEntity(formtest::OtherValidCNPJ, QStringLiteral("Segunda"));
    ASSERT_EQ(window->Session()->Registry().ActiveIndex(), 2);

    // The entity is marked deleted and dropped; saving the new count fails.
    window->Session()->RegistryFile().SetWriter(std::make_shared<FailingAfterWriter>(1));
    ModalScript script;
    script.Press(QStringLiteral("OK")).Press(QStringLiteral("OK"));
    FindNamed<QAction>(*window, "RequestRemove")->trigger();
    window->Session()->RegistryFile().SetWriter(nullptr);
    ASSERT_EQ(script.texts.size(), 2) << script.texts.join('|').toStdString();
    EXPECT_TRUE(script.texts[1].contains(QStringLiteral("Cannot create file"))) << script.texts[1].toStdString();

    // The window follows what the registry now holds: no freed storage or
    // record stays active, the selector lists the live entities.
    ASSERT_EQ(window->Session()->Registry().Count(), 1);
    EXPECT_EQ(window->Session()->ActiveStorage(),
              window->Session()->Registry().Storage(window->Session()->Registry().ActiveIndex()));
    EXPECT_EQ(window->Session()->ActiveEntity(),
              window->Session()->Registry().Entity(window->Session()->Registry().ActiveIndex()));
    EXPECT_EQ(window->ActiveEntityView(), window->EntityViews()->View(window->Session()->Registry().ActiveIndex()));
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->count(), 1);
    EXPECT_EQ(window->windowTitle(), U("Cliente de Certificação Quorvex - Entidade Ativa: PRIMEIRA"));
}

TEST_F(EntityActionsTest, CancelledNewEntityWhoseRemovalSaveFailsStillReturnsToTheEntityShown)
{
    Start();
    AddEntity(formtest::ValidCNPJ, QStringLiteral("Primeira"));
    AddEntity(formtest::OtherValidCNPJ, QStringLiteral("Segunda"));
    FindNamed<QComboBox>(*window, "cbxEntity")->setCurrentIndex(0);
    window->cbxEntityChange();
    ASSERT_EQ(window->Session()->Registry().ActiveIndex(), 1);

    // The save of the new entity made active and that of its DELETED mark go
    // through; saving the new count and the entity shown before then fails.
    window->Session()->RegistryFile().SetWriter(std::make_shared<FailingAfterWriter>(2));
    ModalScript script;
    script.Then([](QWidget* dialog) {
        if (auto* form = qobject_cast<TFrmRequest*>(dialog))
            QTest::mouseClick(form->ButtonCancel, Qt::LeftButton);
    });
    script.Press(QStringLiteral("OK"));
    FindNamed<QAction>(*window, "RequestAdd")->trigger();
    window->Session()->RegistryFile().SetWriter(nullptr);
    ASSERT_EQ(script.texts.size(), 2) << script.texts.join('|').toStdString();
    EXPECT_TRUE(script.texts[1].contains(QStringLiteral("Cannot create file"))) << script.texts[1].toStdString();

    // The window and the registry name the entity shown before.
    ASSERT_EQ(window->Session()->Registry().Count(), 2);
    EXPECT_EQ(window->Session()->Registry().ActiveIndex(), 1);
    EXPECT_EQ(window->Session()->ActiveStorage(), window->Session()->Registry().Storage(1));
    EXPECT_EQ(window->Session()->ActiveEntity(), window->Session()->Registry().Entity(1));
    EXPECT_EQ(window->ActiveEntityView(), window->EntityViews()->View(1));
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->currentIndex(), 0);
}

TEST_F(EntityActionsTest, FillingAnEntityWhoseRegistrationWasCutShortReachesItsOwnSection)
{
    // The program ended while the new-entity form was open: the entity has
    // its section with only the storage path, and an empty storage file.
    {
        std::ofstream out(appDir + "ENTITY.DAT", std::ios::binary);
        out << "[Entity1]\r\nfilename=" << appDir << "STORAGE.1.DAT\r\n\r\n"
            << "[General]\r\nCount=1\r\nCountAll=1\r\nActiveIndex=1\r\n\r\n";
    }
    Start();
    ASSERT_EQ(window->Session()->Registry().Count(), 1);

    QString loadedName = QStringLiteral("(not opened)");
    ModalScript script;
    script.Then([&](QWidget* dialog) {
        auto* form = qobject_cast<TFrmRequest*>(dialog);
        if (!form)
            return;
        loadedName = form->EditName->text();
        formtest::FillValid(*form, formtest::ValidCNPJ, 0, QStringLiteral("Recuperada"));
        QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    });
    FindNamed<QAction>(*window, "RequestFill")->trigger();
    EXPECT_EQ(script.unexpected, 0) << script.texts.join('|').toStdString();
    EXPECT_EQ(loadedName, QString()) << "the form starts blank";

    EXPECT_EQ(Storage(1).ReadString("Request", "Razao", ""), "RECUPERADA");
    EXPECT_TRUE(Storage(1).ReadBool("General", "Request", false));
    const TRequestFile entities = Entities();
    EXPECT_EQ(entities.ReadString("Entity1", "Razao", ""), "RECUPERADA");
    EXPECT_EQ(entities.ReadString("Entity1", "Inscricao", ""), "11222333000181");
    EXPECT_EQ(entities.ReadInteger("Entity1", "Index", 0), 1);
    std::vector<std::string> sections;
    entities.ReadSections(sections);
    EXPECT_EQ(std::count(sections.begin(), sections.end(), "Entity0"), 0);
    EXPECT_EQ(window->Session()->Registry().Entity(1)->Razao, "RECUPERADA");
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->currentText(),
              QStringLiteral("1 - RECUPERADA (11222333000181)"));
}

TEST_F(EntityActionsTest, EntitiesSurviveARestart)
{
    Start();
    AddEntity(formtest::ValidCNPJ, QStringLiteral("Primeira"), {"Bruno", formtest::OtherCPF});
    CancelNewEntity();
    AddEntity(formtest::OtherValidCNPJ, QStringLiteral("Segunda"));
    Stop();

    Start();
    ASSERT_EQ(window->Session()->Registry().Count(), 2);
    EXPECT_EQ(window->Session()->Registry().CountAll(), 3);
    const TUserData* first = window->Session()->Registry().Entity(1);
    EXPECT_EQ(first->Razao, "PRIMEIRA");
    EXPECT_EQ(first->Index, 1);
    ASSERT_TRUE(first->Resp.has_value());
    EXPECT_EQ(*first->Resp, (std::vector<std::string>{"MARIA DA SILVA", formtest::ValidCPF.toStdString(), "BRUNO",
                                                      formtest::OtherCPF.toStdString()}));
    EXPECT_EQ(window->Session()->Registry().Entity(2)->Index, 3);
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->itemText(1), QStringLiteral("2 - SEGUNDA (09876543000141)"));
}

TEST_F(EntityActionsTest, NewEntityWhoseStorageCannotBeMadeIsReportedAndNotRegistered)
{
    // A folder stands where the new storage file would go.
    fs::create_directory(appDir + "STORAGE.1.DAT");
    Start();

    bool formOpened = false;
    ModalScript script;
    script.Then([&](QWidget* dialog) {
        formOpened = qobject_cast<TFrmRequest*>(dialog) != nullptr;
        if (!testsupport::ClickButton(dialog, QStringLiteral("OK")))
            dialog->close();
    });
    FindNamed<QAction>(*window, "RequestAdd")->trigger();
    ASSERT_EQ(script.texts.size(), 1) << "the failure is shown";
    EXPECT_FALSE(formOpened);
    EXPECT_TRUE(script.texts[0].contains(QStringLiteral("STORAGE.1.DAT"))) << script.texts[0].toStdString();

    EXPECT_EQ(window->Session()->Registry().Count(), 0);
    EXPECT_EQ(window->Session()->Registry().CountAll(), 0);
    EXPECT_EQ(FindNamed<QComboBox>(*window, "cbxEntity")->count(), 0);
    EXPECT_FALSE(FindNamed<QAction>(*window, "RequestFill")->isEnabled());
    const TRequestFile entities = Entities();
    std::vector<std::string> sections;
    entities.ReadSections(sections);
    EXPECT_EQ(std::count(sections.begin(), sections.end(), "Entity1"), 0);
}

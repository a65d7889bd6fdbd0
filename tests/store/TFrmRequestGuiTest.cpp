// The entity request form, driven as a user would drive it: text typed key by
// key into the real fields, buttons clicked, message boxes answered.
#include "store/TFrmRequest.h"

#include "ui/TDialog.h"
#include "store/IdRules.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"
#include "store/TFrmRequestTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using formtest::ModalScript;

namespace {

const char* const AddressMissing =
    "Todos os campos devem ser preenchidos. Clique na guia Endereço para prosseguir no preenchimento "
    "da requisicao.";
const char* const IdMissing = "Todos os campos, exceto o e-mail e o bairro, são de preenchimento obrigatório!";
const char* const NoResp = "Não existem responsáveis cadastrados.";
const char* const RespExists = "Responsável já cadastrado.";
const char* const SelectResp = "Selecione um responsável.";
const char* const IdTaken = "Já existe uma entidade cadastrada com esta inscrição";

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QString Question(const QString& id, const QString& type)
{
    return U("O número ") + id + U(" informado para a inscrição não parece ser um ") + type
           + U(" válido. Deseja corrigi-lo?");
}

class RequestFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<TFrmRequest>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QApplication::setActiveWindow(form.get());
    }
    void TearDown() override { form.reset(); }

    QStringList Rows(int column) const
    {
        QStringList out;
        for (int i = 0; i < form->ltvResp->topLevelItemCount(); ++i)
            out << form->ltvResp->topLevelItem(i)->text(column);
        return out;
    }

    std::unique_ptr<TFrmRequest> form;
};

} // namespace

TEST_F(RequestFormTest, KeyFiltersShapeWhatIsTyped)
{
    // Numeric: a phone typed with a hyphen and blanks loses them.
    QTest::keyClicks(form->EditPhone, QStringLiteral("11-3456 7890"));
    EXPECT_EQ(form->EditPhone->text(), QStringLiteral("1134567890"));
    QTest::keyClicks(form->EditZip, QStringLiteral("70.040-a10"));
    EXPECT_EQ(form->EditZip->text(), QStringLiteral("7004010"));

    // Letters: capitals; Portuguese accented letters keep their plain
    // capital, any other character above code 127 is refused.
    formtest::TypeText(form->EditName, U("Padaria Conceição"));
    EXPECT_EQ(form->EditName->text(), QStringLiteral("PADARIA CONCEICAO"));
    formtest::TypeText(form->EdtResp, U("joão 2, da silva ñ€ß"));
    EXPECT_EQ(form->EdtResp->text(), QStringLiteral("JOAO 2 DA SILVA "));

    // Address: letters plus the punctuation from space to "@".
    formtest::TypeText(form->EditAddress, U("Rua São José, nº 12 - apto/3 @x_y 2ª"));
    EXPECT_EQ(form->EditAddress->text(), QStringLiteral("RUA SAO JOSE, NO 12 - APTO/3 @XY 2A"));

    // Backspace still edits a filtered field.
    QTest::keyClick(form->EditPhone, Qt::Key_Backspace);
    EXPECT_EQ(form->EditPhone->text(), QStringLiteral("113456789"));

    // So do the keys that select, copy and cut what a field holds: a name
    // typed wrong is selected and typed over, a number copied elsewhere.
    QTest::keyClick(form->EditName, Qt::Key_A, Qt::ControlModifier);
    formtest::TypeText(form->EditName, U("Boa Vista"));
    EXPECT_EQ(form->EditName->text(), QStringLiteral("BOA VISTA"));
    QTest::keyClick(form->EditPhone, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form->EditPhone, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("113456789"));
    QTest::keyClick(form->EditPhone, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(form->EditPhone->text(), QString());
    QTest::keyClick(form->EditPhone, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form->EditPhone->text(), QStringLiteral("113456789"));
    // Any other Control key types nothing.
    QTest::keyClick(form->EditPhone, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(form->EditPhone->text(), QStringLiteral("113456789"));

    // The e-mail has no filter.
    formtest::TypeText(form->EditMail, U("Zé@exemplo.com.br"));
    EXPECT_EQ(form->EditMail->text(), U("Zé@exemplo.com.br"));
}

TEST_F(RequestFormTest, EachLimitedFieldSaysWhatItsFilterChangedOrDroppedAsTheUserTypes)
{
    // Key by key: the refused "&" leaves one space between the words, and the
    // note under the field names the folded letters, the dropped sign and
    // the limit.
    formtest::TypeText(form->EditName, U("Padaria Conceição & Filhos"));
    EXPECT_EQ(form->EditName->text(), QStringLiteral("PADARIA CONCEICAO FILHOS"));
    QLabel* nameNote = form->NoteOf(form->EditName);
    ASSERT_NE(nameNote, nullptr);
    EXPECT_EQ(nameNote->text(), U("trocado: ç→C ã→A · removido: “&” · 24 de máx. 31"));
    EXPECT_EQ(form->EditName->accessibleDescription(), nameNote->text());
    // Words typed after a refused character at the start, or spaces typed
    // twice, leave no leading or doubled space either.
    formtest::TypeText(form->EdtResp, U("& José  Ação"));
    EXPECT_EQ(form->EdtResp->text(), QStringLiteral("JOSE ACAO"));

    // Every filtered field with a limit has its note, with an accessible
    // name, shown beside the field; the limit and what was dropped are told.
    const struct {
        QLineEdit* edit;
        const char* typed;
        const char* accessible;
        const char* note;
    } table[] = {
        {form->EditId, "12.abc.345/01de-35", "Aviso do campo Inscrição junto à Receita Federal",
         "removido: “.” “/” “-” · 14 de máx. 14"},
        {form->EditPhone, "(61) 3333-4444", "Aviso do campo Telefone para contato",
         "removido: “(” “)” espaço “-” · 10 de máx. 12"},
        {form->EditAddress, "Av. das Nações_Unidas, 5", "Aviso do campo Endereço",
         "trocado: ç→C õ→O · removido: “_” · 23 de máx. 50"},
        {form->EditLocale, "Asa Sul", "Aviso do campo Bairro", "7 de máx. 20"},
        {form->EditCity, "Brasília do Distrito Federal", "Aviso do campo Cidade",
         "trocado: í→I · 20 de máx. 20, limite atingido"},
        {form->EditZip, "70.040-010", "Aviso do campo CEP", "removido: “.” “-” · 8 de máx. 8"},
        {form->EdtCpfResp, "123.456.789-09", "Aviso do campo CPF do Responsável", "removido: “.” “-” · 11 de máx. 11"},
        {form->EdtResp, "Ana ñ", "Aviso do campo Nome do Responsável", "removido: “ñ”"},
    };
    form->EdtResp->clear();
    for (const auto& row : table) {
        QWidget* page = row.edit->parentWidget();
        form->PageControl1->setCurrentWidget(page);
        formtest::TypeText(row.edit, U(row.typed));
        QLabel* note = form->NoteOf(row.edit);
        ASSERT_NE(note, nullptr) << row.typed;
        EXPECT_EQ(note->text(), U(row.note)) << row.typed;
        EXPECT_EQ(note->accessibleName(), U(row.accessible)) << row.typed;
        EXPECT_TRUE(note->isVisible()) << row.typed;
        // Beside the field: right under it or on its row.
        const QRect field = row.edit->geometry();
        const QRect shown = note->geometry();
        const bool under = shown.top() >= field.bottom() - 2 && shown.top() <= field.bottom() + 12;
        const bool onItsRow = shown.center().y() > field.top() && shown.center().y() < field.bottom();
        EXPECT_TRUE(under || onItsRow) << row.typed;
    }
    EXPECT_EQ(form->NoteOf(form->EditMail), nullptr) << "the e-mail has no filter";

    // An emptied field starts afresh; a loaded record has nothing to tell.
    QTest::keyClick(form->EditName, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form->EditName, Qt::Key_Backspace);
    EXPECT_EQ(nameNote->text(), U("0 de máx. 31"));
    formtest::TypeText(form->EditName, U("Ótica"));
    EXPECT_EQ(nameNote->text(), U("trocado: Ó→O · 5 de máx. 31"));
    TUserData data;
    data.Razao = "LOJA";
    form->UserData = &data;
    form->LoadFromUserData();
    EXPECT_EQ(nameNote->text(), U("4 de máx. 31"));
}

TEST_F(RequestFormTest, PastingCannotBypassTheFilters)
{
    QApplication::clipboard()->setText(QStringLiteral("12ab-34"));
    // The unfiltered e-mail field shows that the paste key works here at all.
    QTest::keyClick(form->EditMail, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form->EditMail->text(), QStringLiteral("12ab-34"));

    QTest::keyClick(form->EditPhone, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(form->EditId, Qt::Key_Insert, Qt::ShiftModifier);
    QTest::keyClick(form->EditName, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form->EditPhone->text(), QString());
    EXPECT_EQ(form->EditId->text(), QString());
    EXPECT_EQ(form->EditName->text(), QString());

    // No context menu on the listed fields, so no "Paste" either.
    for (QLineEdit* edit : {form->EditId, form->EditPhone, form->EditName, form->EditAddress, form->EditCity,
                            form->EditZip, form->EditLocale})
        EXPECT_EQ(edit->contextMenuPolicy(), Qt::PreventContextMenu) << edit->objectName().toStdString();
    EXPECT_EQ(form->EditMail->contextMenuPolicy(), Qt::DefaultContextMenu);

    // Text pasted where it may be (the e-mail by its key, a person's fields
    // by their menu) reaches the record on one line, as a data file holds it.
    formtest::FillValid(*form);
    form->EditMail->clear();
    QApplication::clipboard()->setText(QStringLiteral("a@b.c\r\n[General]"));
    QTest::keyClick(form->EditMail, Qt::Key_V, Qt::ControlModifier);
    form->PageControl1->setCurrentWidget(form->TabResp);
    QApplication::clipboard()->setText(QStringLiteral("BIA\nSOUZA"));
    form->EdtResp->paste(); // as the menu's Paste does
    QTest::keyClicks(form->EdtCpfResp, QStringLiteral("11144477735"));
    QTest::mouseClick(form->BtnAdicionar, Qt::LeftButton);
    ModalScript script;
    QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    EXPECT_EQ(script.texts.size(), 0) << script.texts.join('|').toStdString();
    EXPECT_EQ(form->result(), 1);
    EXPECT_EQ(form->UserData->Email, "a@b.c [General]");
    EXPECT_EQ(form->UserData->RespList().at(2), "BIA SOUZA");
}

TEST_F(RequestFormTest, LengthLimitsCutTypedText)
{
    const QString digits = QStringLiteral("123456789012345678901234567890");
    QTest::keyClicks(form->EditId, digits);
    QTest::keyClicks(form->EditPhone, digits);
    QTest::keyClicks(form->EditZip, digits);
    QTest::keyClicks(form->EdtCpfResp, digits);
    EXPECT_EQ(form->EditId->text().size(), 14);
    EXPECT_EQ(form->EditPhone->text().size(), 12);
    EXPECT_EQ(form->EditZip->text().size(), 8);
    EXPECT_EQ(form->EdtCpfResp->text().size(), 11);

    const QString letters = QString(120, QLatin1Char('a'));
    QTest::keyClicks(form->EditName, letters);
    QTest::keyClicks(form->EditAddress, letters);
    QTest::keyClicks(form->EditLocale, letters);
    QTest::keyClicks(form->EditCity, letters);
    QTest::keyClicks(form->EditMail, letters);
    QTest::keyClicks(form->EdtResp, letters);
    EXPECT_EQ(form->EditName->text().size(), 31);
    EXPECT_EQ(form->EditAddress->text().size(), 50);
    EXPECT_EQ(form->EditLocale->text().size(), 20);
    EXPECT_EQ(form->EditCity->text().size(), 20);
    EXPECT_EQ(form->EditMail->text().size(), 100);
    EXPECT_EQ(form->EdtResp->text().size(), 120); // no limit
}

TEST_F(RequestFormTest, StartsWithItsListsSelectionsAndFirstPage)
{
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabId);
    ASSERT_EQ(form->PageControl1->count(), 3);
    EXPECT_EQ(form->PageControl1->tabText(0), U("Identificação"));
    EXPECT_EQ(form->PageControl1->tabText(1), U("Endereço"));
    EXPECT_EQ(form->PageControl1->tabText(2), U("Responsáveis"));

    ASSERT_EQ(form->ComboProfiles->count(), 1);
    EXPECT_EQ(form->ComboProfiles->itemText(0), U("Empresa usuária"));
    EXPECT_EQ(form->ComboProfiles->currentIndex(), 0);
    ASSERT_EQ(form->ComboTypeId->count(), 2);
    EXPECT_EQ(form->ComboTypeId->itemText(0), QStringLiteral("CNPJ"));
    EXPECT_EQ(form->ComboTypeId->itemText(1), QStringLiteral("CEI"));
    EXPECT_EQ(form->ComboTypeId->currentIndex(), 0);
    QStringList states;
    for (int i = 0; i < form->ComboUF->count(); ++i)
        states << form->ComboUF->itemText(i);
    EXPECT_EQ(states.join(','), QStringLiteral("AC,AL,AM,AP,BA,CE,DF,ES,GO,MA,MG,MS,MT,PA,PB,PE,PI,PR,RJ,RN,RO,"
                                               "RR,RS,SC,SE,SP,TO"));
    EXPECT_EQ(form->ComboUF->currentIndex(), -1);

    // A sample of the captions: the accented ones, where an encoding slip would show.
    EXPECT_EQ(form->LabelId->text().remove(QLatin1Char('&')), U("Inscrição junto à Receita Federal:"));
    EXPECT_EQ(form->LabelState->text().remove(QLatin1Char('&')), U("Unidade da Federação:"));
    EXPECT_EQ(form->LabelCpfResp->text().remove(QLatin1Char('&')), U("CPF do Responsável"));
    EXPECT_TRUE(form->ButtonOK->isDefault());
    EXPECT_EQ(form->ltvResp->headerItem()->text(0), U("Nº"));
    EXPECT_EQ(form->ltvResp->headerItem()->text(1), QStringLiteral("Nome"));
    EXPECT_EQ(form->ltvResp->headerItem()->text(2), QStringLiteral("CPF"));
    EXPECT_EQ(form->QuestionBox->Caption, U("Cliente de Certificação Quorvex"));
    EXPECT_FALSE(form->NewEntity);
}

TEST(RequestFormModes, CaptionAndHelpTopicFollowTheMode)
{
    for (bool newEntity : {true, false}) {
        TFrmRequest form;
        form.NewEntity = newEntity;
        QSignalSpy help(&form, &TFrmRequest::HelpRequested);
        form.show();
        EXPECT_EQ(form.windowTitle(), newEntity ? U("Cadastrar Nova Entidade") : U("Requisição"));
        QTest::mouseClick(form.ButtonHelp, Qt::LeftButton);
        ASSERT_EQ(help.count(), 1);
        EXPECT_EQ(help.at(0).at(0).toString(),
                  newEntity ? QStringLiteral("newentity.htm") : QStringLiteral("request.htm"));
        EXPECT_TRUE(form.isVisible()) << "the help button must not close the form";
    }
}

TEST_F(RequestFormTest, ResponsiblePersonsKeepTheirNumbers)
{
    formtest::AddResp(*form, QStringLiteral("Ana"), QStringLiteral("11144477735"));
    formtest::AddResp(*form, QStringLiteral("Bruno"), QStringLiteral("52998224725"));
    formtest::AddResp(*form, QStringLiteral("Carla"), QStringLiteral("22233344405"));
    EXPECT_EQ(Rows(0), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(form->EdtResp->text(), QString()) << "fields are emptied after adding";
    EXPECT_EQ(form->EdtCpfResp->text(), QString());

    form->ltvResp->setCurrentItem(form->ltvResp->topLevelItem(1));
    QTest::mouseClick(form->BtnRemover, Qt::LeftButton);
    EXPECT_EQ(Rows(1), (QStringList{"ANA", "CARLA"}));
    formtest::AddResp(*form, QStringLiteral("Davi"), QStringLiteral("44455566619"));
    EXPECT_EQ(Rows(0), (QStringList{"1", "3", "3"}));
    EXPECT_EQ(Rows(2), (QStringList{"11144477735", "22233344405", "44455566619"}));

    // Removing with nothing selected asks for a selection.
    form->ltvResp->clearSelection();
    {
        ModalScript script;
        script.Press("OK");
        QTest::mouseClick(form->BtnRemover, Qt::LeftButton);
        ASSERT_EQ(script.texts.size(), 1);
        EXPECT_TRUE(script.texts[0].contains(U(SelectResp)));
    }
    EXPECT_EQ(form->ltvResp->topLevelItemCount(), 3);

    // The remove button goes off with the last row.
    while (form->ltvResp->topLevelItemCount() > 0) {
        EXPECT_TRUE(form->BtnRemover->isEnabled());
        form->ltvResp->setCurrentItem(form->ltvResp->topLevelItem(0));
        QTest::mouseClick(form->BtnRemover, Qt::LeftButton);
    }
    EXPECT_FALSE(form->BtnRemover->isEnabled());
}

TEST_F(RequestFormTest, CpfIsCompletedOnLeavingAndDuplicatesAreRefused)
{
    form->PageControl1->setCurrentWidget(form->TabResp);
    form->EdtCpfResp->setFocus();
    QTest::keyClicks(form->EdtCpfResp, QStringLiteral("123"));
    QTest::keyClick(form->EdtCpfResp, Qt::Key_Tab);
    EXPECT_FALSE(form->EdtCpfResp->hasFocus());
    EXPECT_EQ(form->EdtCpfResp->text(), QStringLiteral("00000000123"));
    form->EdtCpfResp->clear();

    // An empty field stays empty when the cursor leaves it.
    form->EdtCpfResp->setFocus();
    QTest::keyClick(form->EdtCpfResp, Qt::Key_Tab);
    EXPECT_EQ(form->EdtCpfResp->text(), QString());

    // "Adicionar" takes a person only with a name and a CPF whose check
    // digits hold; each refusal says why and keeps what was typed.
    const struct {
        const char* name;
        const char* cpf;
        const char* message;
    } refused[] = {
        {"Ana", "", "Informe o CPF do responsável."},
        {"Ana", "11111111111", "O CPF 11111111111 não é válido. Confira os dígitos."},
        {"Ana", "12345678900", "O CPF 12345678900 não é válido. Confira os dígitos."},
        {"Ana", "123", "O CPF 00000000123 não é válido. Confira os dígitos."},
        {"", "12345678909", "Informe o nome do responsável."},
    };
    for (const auto& row : refused) {
        ModalScript script;
        script.Press("OK");
        formtest::AddResp(*form, QString::fromUtf8(row.name), QString::fromUtf8(row.cpf));
        ASSERT_EQ(script.texts.size(), 1) << row.cpf;
        EXPECT_TRUE(script.texts[0].contains(U(row.message))) << script.texts[0].toStdString();
        EXPECT_EQ(form->ltvResp->topLevelItemCount(), 0) << row.cpf;
        EXPECT_EQ(form->EdtResp->text(), QString::fromUtf8(row.name).toUpper()) << row.cpf;
    }

    // The same CPF a second time is refused.
    formtest::AddResp(*form, QStringLiteral("Ana"), formtest::ValidCPF);
    EXPECT_EQ(Rows(2), QStringList{formtest::ValidCPF});
    ModalScript script;
    script.Press("OK");
    formtest::AddResp(*form, QStringLiteral("Bruno"), formtest::ValidCPF);
    ASSERT_EQ(script.texts.size(), 1);
    EXPECT_TRUE(script.texts[0].contains(U(RespExists)));
    EXPECT_EQ(form->ltvResp->topLevelItemCount(), 1);
    EXPECT_EQ(form->RespCounter, 1);
    EXPECT_EQ(form->EdtResp->text(), QStringLiteral("BRUNO")) << "a refused person stays in the fields";
}

// The persons' fields with the keyboard alone: Enter goes from the name to
// the CPF, then adds; after a person was added the empty CPF field stays
// empty when the cursor leaves it, and Enter never adds a person whose CPF
// fails its check digits.
TEST_F(RequestFormTest, EnterInThePersonFieldsNeverAddsAnInvalidCpf)
{
    const auto enterOn = [](QWidget* dialog) {
        QWidget* focus = dialog->focusWidget();
        QTest::keyClick(focus ? focus : dialog, Qt::Key_Return);
    };
    form->PageControl1->setCurrentWidget(form->TabResp);
    form->EdtResp->setFocus();
    QTest::keyClicks(form->EdtResp, QStringLiteral("Ana"));
    QTest::keyClick(form->EdtResp, Qt::Key_Return);
    ASSERT_TRUE(form->EdtCpfResp->hasFocus());
    QTest::keyClicks(form->EdtCpfResp, formtest::ValidCPF);
    QTest::keyClick(form->EdtCpfResp, Qt::Key_Return);
    EXPECT_EQ(Rows(1), QStringList{QStringLiteral("ANA")});
    ASSERT_TRUE(form->EdtResp->hasFocus()) << "ready for the next person";

    // Through the empty CPF field and out of it: nothing appears there.
    QTest::keyClick(form->EdtResp, Qt::Key_Tab);
    ASSERT_TRUE(form->EdtCpfResp->hasFocus());
    QTest::keyClick(form->EdtCpfResp, Qt::Key_Tab);
    EXPECT_EQ(form->EdtCpfResp->text(), QString());

    // The next name, Enter: on to the CPF, which is typed wrong; Enter there
    // and Enter back in the name field are both refused with the reason.
    form->EdtResp->setFocus();
    QTest::keyClicks(form->EdtResp, QStringLiteral("Bruno"));
    QTest::keyClick(form->EdtResp, Qt::Key_Return);
    ASSERT_TRUE(form->EdtCpfResp->hasFocus());
    EXPECT_EQ(form->ltvResp->topLevelItemCount(), 1);
    QTest::keyClicks(form->EdtCpfResp, QStringLiteral("98765432101"));
    {
        ModalScript script;
        script.Then(enterOn).Then(enterOn);
        QTest::keyClick(form->EdtCpfResp, Qt::Key_Return);
        form->EdtResp->setFocus();
        QTest::keyClick(form->EdtResp, Qt::Key_Return);
        ASSERT_EQ(script.texts.size(), 2);
        for (const QString& text : script.texts)
            EXPECT_TRUE(text.contains(U("O CPF 98765432101 não é válido."))) << text.toStdString();
        EXPECT_EQ(script.unexpected, 0);
    }
    EXPECT_EQ(form->ltvResp->topLevelItemCount(), 1);
    EXPECT_EQ(form->focusWidget(), form->EdtCpfResp) << "the keyboard goes where the correction is";

    // Corrected, the person is added.
    QTest::keyClick(form->EdtCpfResp, Qt::Key_Backspace);
    QTest::keyClicks(form->EdtCpfResp, QStringLiteral("0"));
    QTest::keyClick(form->EdtCpfResp, Qt::Key_Return);
    EXPECT_EQ(Rows(2), (QStringList{formtest::ValidCPF, formtest::OtherCPF}));

    // With both fields empty, Enter is OK for the whole form (here: the
    // address is still missing).
    ModalScript script;
    script.Press("OK");
    QTest::keyClick(form->EdtResp, Qt::Key_Return);
    ASSERT_EQ(script.texts.size(), 1);
    EXPECT_TRUE(script.texts[0].contains(U(AddressMissing)));
    EXPECT_EQ(form->ltvResp->topLevelItemCount(), 2);
}

// OK with a person typed but not added: added when the name and CPF allow
// it, else the user is asked, and Enter keeps the form open.
TEST(RequestFormPendingPerson, APersonTypedButNotAddedIsAddedOrAskedAbout)
{
    const struct {
        const char* name;
        const char* cpf;
        const char* reason; // null: added without a question
    } table[] = {
        {"José Ação da Silva", "11144477735", nullptr},
        {"Bia", "11144477736", "O CPF 11144477736 não é válido. Confira os dígitos."},
        {"Bia", "", "Informe o CPF do responsável."},
        {"", "11144477735", "Informe o nome do responsável."},
        {"Bia", "12345678909", "Responsável já cadastrado."},
    };
    for (const auto& row : table) {
        const QString name = U(row.name);
        const QString cpf = QString::fromLatin1(row.cpf);
        TFrmRequest form;
        form.show();
        formtest::FillValid(form); // with MARIA DA SILVA, 12345678909
        formtest::TypeText(form.EdtResp, name);
        form.EdtCpfResp->setFocus();
        QTest::keyClicks(form.EdtCpfResp, cpf);
        const std::vector<std::string> maria{"MARIA DA SILVA", formtest::ValidCPF.toStdString()};
        if (!row.reason) {
            ModalScript script;
            QTest::mouseClick(form.ButtonOK, Qt::LeftButton);
            EXPECT_EQ(script.texts.size(), 0) << script.texts.join('|').toStdString();
            EXPECT_EQ(form.result(), 1);
            EXPECT_EQ(form.UserData->RespList(),
                      (std::vector<std::string>{maria[0], maria[1], "JOSE ACAO DA SILVA", row.cpf}));
            continue;
        }
        // Enter: the default answer keeps the user in the form, on the field
        // to correct, with what was typed.
        {
            ModalScript script;
            script.Then([](QWidget* dialog) {
                QWidget* focus = dialog->focusWidget();
                QTest::keyClick(focus ? focus : dialog, Qt::Key_Return);
            });
            QTest::mouseClick(form.ButtonOK, Qt::LeftButton);
            ASSERT_EQ(script.texts.size(), 1) << row.cpf;
            const QString expected = U("O responsável digitado não foi adicionado à lista.\nNome: ") + name.toUpper()
                                     + U("\nCPF: ") + cpf + QLatin1Char('\n') + U(row.reason)
                                     + U("\nDeseja continuar sem ele?");
            EXPECT_TRUE(script.texts[0].contains(expected)) << script.texts[0].toStdString();
            EXPECT_EQ(form.result(), 0) << row.cpf;
            EXPECT_TRUE(form.isVisible());
            EXPECT_EQ(form.PageControl1->currentWidget(), form.TabResp);
            EXPECT_EQ(form.focusWidget(), name.isEmpty() ? form.EdtResp : form.EdtCpfResp);
            EXPECT_EQ(form.EdtCpfResp->text(), cpf);
            EXPECT_FALSE(form.UserData->Resp.has_value()) << "nothing written";
        }
        // "Sim": the form is accepted without that person.
        ModalScript script;
        script.Press(QStringLiteral("Sim"));
        QTest::mouseClick(form.ButtonOK, Qt::LeftButton);
        EXPECT_EQ(script.texts.size(), 1);
        EXPECT_EQ(form.result(), 1) << row.cpf;
        EXPECT_EQ(form.UserData->RespList(), maria);
    }

    // The only person typed and not added counts as the list's first.
    TFrmRequest form;
    form.show();
    formtest::FillValid(form);
    form.ltvResp->setCurrentItem(form.ltvResp->topLevelItem(0));
    QTest::mouseClick(form.BtnRemover, Qt::LeftButton);
    ASSERT_EQ(form.ltvResp->topLevelItemCount(), 0);
    formtest::TypeText(form.EdtResp, U("Ana"));
    QTest::keyClicks(form.EdtCpfResp, formtest::OtherCPF);
    ModalScript script;
    QTest::mouseClick(form.ButtonOK, Qt::LeftButton);
    EXPECT_EQ(script.texts.size(), 0) << script.texts.join('|').toStdString();
    EXPECT_EQ(form.UserData->RespList(), (std::vector<std::string>{"ANA", formtest::OtherCPF.toStdString()}));
}

TEST_F(RequestFormTest, OkChecksRunInOrderAndKeepTheFormOpen)
{
    TUserData before = *form->UserData;
    ModalScript script;
    script.Press("OK").Press("OK").Press("OK");

    // Everything empty: the address message comes first, on any page.
    form->PageControl1->setCurrentWidget(form->TabId);
    QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabId) << "the page is not switched";

    // The address filled in: now the identification page. The e-mail and the
    // district may stay empty.
    form->PageControl1->setCurrentWidget(form->TabLocale);
    QTest::keyClicks(form->EditAddress, QStringLiteral("Rua A"));
    QTest::keyClicks(form->EditCity, QStringLiteral("Natal"));
    QTest::keyClicks(form->EditZip, QStringLiteral("59000000"));
    form->ComboUF->setCurrentIndex(form->ComboUF->findText("RN"));
    QTest::mouseClick(form->ButtonOK, Qt::LeftButton);

    // Identification filled in: no responsible person yet, and that page
    // comes to the front.
    form->PageControl1->setCurrentWidget(form->TabId);
    QTest::keyClicks(form->EditId, formtest::ValidCNPJ);
    QTest::keyClicks(form->EditName, QStringLiteral("Loja"));
    QTest::keyClicks(form->EditPhone, QStringLiteral("84"));
    QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabResp);

    ASSERT_EQ(script.texts.size(), 3);
    EXPECT_TRUE(script.texts[0].contains(U(AddressMissing))) << script.texts[0].toStdString();
    EXPECT_TRUE(script.texts[1].contains(U(IdMissing))) << script.texts[1].toStdString();
    EXPECT_TRUE(script.texts[2].contains(U(NoResp))) << script.texts[2].toStdString();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->result(), 0);
    EXPECT_EQ(form->UserData->Razao, before.Razao);
    EXPECT_FALSE(form->UserData->Resp.has_value()) << "nothing written before every check passed";

    // With a person the form is accepted and the record written.
    formtest::AddResp(*form, QStringLiteral("Ana"), formtest::ValidCPF);
    QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    EXPECT_EQ(script.unexpected, 0);
    EXPECT_EQ(form->result(), 1);
    const TUserData& data = *form->UserData;
    EXPECT_EQ(data.Profile(), "01");
    EXPECT_EQ(data.Tipo_Inscricao(), "01");
    EXPECT_EQ(data.Inscricao(), "11222333000181");
    EXPECT_EQ(data.Razao, "LOJA");
    EXPECT_EQ(data.Telefone, "84");
    EXPECT_EQ(data.Endereco, "RUA A");
    EXPECT_EQ(data.Bairro, "");
    EXPECT_EQ(data.Cidade, "NATAL");
    EXPECT_EQ(data.CEP, "59000000");
    EXPECT_EQ(data.UF, "RN");
    EXPECT_EQ(data.Email, "");
    ASSERT_TRUE(data.Resp.has_value());
    EXPECT_EQ(*data.Resp, (std::vector<std::string>{"ANA", "12345678909"}));
}

TEST_F(RequestFormTest, ShortCnpjIsCompletedBeforeItIsChecked)
{
    ASSERT_TRUE(IsValidCNPJ(formtest::ValidCNPJLeadingZero.toStdString()));
    formtest::FillValid(*form, formtest::ValidCNPJLeadingZero.mid(1));
    ModalScript script;
    QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    EXPECT_EQ(script.texts.size(), 0) << "a completed valid CNPJ raises no question";
    EXPECT_EQ(form->EditId->text(), formtest::ValidCNPJLeadingZero);
    EXPECT_EQ(form->result(), 1);
    EXPECT_EQ(form->UserData->Inscricao(), formtest::ValidCNPJLeadingZero.toStdString());
}

TEST_F(RequestFormTest, AlphanumericCnpjIsTypedInCapitalsAndNeverPadded)
{
    // One character short: no zero is put in front, the question shows it.
    formtest::FillValid(*form, QStringLiteral("2abc34501de35"));
    {
        ModalScript script;
        script.Press(QStringLiteral("Sim"));
        QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
        ASSERT_EQ(script.texts.size(), 1);
        EXPECT_TRUE(script.texts[0].contains(Question(QStringLiteral("2ABC34501DE35"), "CNPJ")))
            << script.texts[0].toStdString();
        EXPECT_EQ(form->EditId->text(), QStringLiteral("2ABC34501DE35"));
    }
    // Lower case becomes capitals; the whole number is valid and raises no
    // question.
    form->EditId->clear();
    QTest::keyClicks(form->EditId, QStringLiteral("12abc34501de35"));
    EXPECT_EQ(form->EditId->text(), QStringLiteral("12ABC34501DE35"));
    {
        ModalScript script;
        QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
        EXPECT_EQ(script.texts.size(), 0) << script.texts.join('|').toStdString();
        EXPECT_EQ(form->result(), 1);
        EXPECT_EQ(form->UserData->Inscricao(), "12ABC34501DE35");
    }
    // A CEI takes digits only.
    form->ComboTypeId->setCurrentIndex(1);
    form->EditId->clear();
    QTest::keyClicks(form->EditId, QStringLiteral("10a98B76543219"));
    EXPECT_EQ(form->EditId->text(), QStringLiteral("109876543219"));
}

TEST_F(RequestFormTest, WrongCnpjCanBeCorrectedOrKept)
{
    const QString wrong = QStringLiteral("11222333000182");
    formtest::FillValid(*form, wrong);
    {
        // Yes: back to the identifier, nothing written.
        ModalScript script;
        script.Press(QStringLiteral("Sim"));
        form->PageControl1->setCurrentWidget(form->TabLocale);
        QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
        ASSERT_EQ(script.texts.size(), 1);
        EXPECT_TRUE(script.texts[0].contains(Question(wrong, "CNPJ"))) << script.texts[0].toStdString();
        EXPECT_EQ(form->result(), 0);
        EXPECT_EQ(form->PageControl1->currentWidget(), form->TabId);
        EXPECT_EQ(form->focusWidget(), form->EditId);
        EXPECT_EQ(form->UserData->Inscricao(), "");
    }
    {
        // No: the number is kept as typed.
        ModalScript script;
        script.Press(QStringLiteral("Não"));
        QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
        EXPECT_EQ(script.texts.size(), 1);
        EXPECT_EQ(form->result(), 1);
        EXPECT_EQ(form->UserData->Inscricao(), wrong.toStdString());
    }
}

TEST_F(RequestFormTest, CeiIsCheckedInItsTwelveDigitForm)
{
    // Eleven digits typed: completed to twelve, then checked.
    ASSERT_TRUE(IsValidCEI("012345678906"));
    formtest::FillValid(*form, QStringLiteral("12345678906"), 1);
    {
        ModalScript script;
        QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
        EXPECT_EQ(script.texts.size(), 0) << script.texts.join('|').toStdString();
    }
    EXPECT_EQ(form->EditId->text(), QStringLiteral("012345678906"));
    EXPECT_EQ(form->result(), 1);
    EXPECT_EQ(form->UserData->Inscricao(), "00012345678906") << "stored padded to 14";
    EXPECT_EQ(form->UserData->Tipo_Inscricao(), "02");

    // A stored CEI comes back as twelve digits and passes its check again.
    TFrmRequest again;
    TUserData stored;
    stored.Assign(*form->UserData);
    stored.RespList() = {"ANA", "12345678909"};
    again.UserData = &stored;
    again.LoadFromUserData();
    EXPECT_EQ(again.ComboTypeId->currentIndex(), 1);
    EXPECT_EQ(again.EditId->text(), QStringLiteral("012345678906"));
    again.show();
    {
        ModalScript script;
        QTest::mouseClick(again.ButtonOK, Qt::LeftButton);
        EXPECT_EQ(script.texts.size(), 0) << script.texts.join('|').toStdString();
    }
    EXPECT_EQ(again.result(), 1);
    EXPECT_EQ(stored.Inscricao(), "00012345678906");

    // A wrong CEI is questioned with its own type name.
    TFrmRequest wrong;
    wrong.show();
    formtest::FillValid(wrong, QStringLiteral("109876543210"), 1);
    ModalScript asked;
    asked.Press(QStringLiteral("Sim"));
    QTest::mouseClick(wrong.ButtonOK, Qt::LeftButton);
    ASSERT_EQ(asked.texts.size(), 1);
    EXPECT_TRUE(asked.texts[0].contains(Question("109876543210", "CEI"))) << asked.texts[0].toStdString();
}

TEST_F(RequestFormTest, LoadFromUserDataFillsEveryControl)
{
    TUserData data;
    data.SetProfile("01");
    data.SetTipoInscricao("01");
    data.SetInscricao("11222333000181");
    data.Razao = "PADARIA";
    data.Telefone = "6133334444";
    data.Endereco = "RUA A, 1";
    data.Bairro = "CENTRO";
    data.Cidade = "RECIFE";
    data.CEP = "50000000";
    data.UF = "pe";
    data.Email = "a@b.c";
    data.RespList() = {"ANA", "11111111111", "BRUNO", "22222222222"};
    form->UserData = &data;
    form->LoadFromUserData();

    EXPECT_EQ(form->ComboProfiles->currentIndex(), 0);
    EXPECT_EQ(form->ComboTypeId->currentIndex(), 0);
    EXPECT_EQ(form->EditId->text(), QStringLiteral("11222333000181"));
    EXPECT_EQ(form->EditName->text(), QStringLiteral("PADARIA"));
    EXPECT_EQ(form->EditPhone->text(), QStringLiteral("6133334444"));
    EXPECT_EQ(form->EditAddress->text(), QStringLiteral("RUA A, 1"));
    EXPECT_EQ(form->EditLocale->text(), QStringLiteral("CENTRO"));
    EXPECT_EQ(form->EditCity->text(), QStringLiteral("RECIFE"));
    EXPECT_EQ(form->EditZip->text(), QStringLiteral("50000000"));
    EXPECT_EQ(form->ComboUF->currentText(), QStringLiteral("PE")) << "state matched without regard to case";
    EXPECT_EQ(form->EditMail->text(), QStringLiteral("a@b.c"));
    EXPECT_EQ(Rows(0), (QStringList{"1", "2"}));
    EXPECT_EQ(Rows(1), (QStringList{"ANA", "BRUNO"}));
    EXPECT_EQ(Rows(2), (QStringList{"11111111111", "22222222222"}));
    EXPECT_EQ(form->RespCounter, 2);
    EXPECT_TRUE(form->BtnRemover->isEnabled());

    // The next person continues the numbering.
    formtest::AddResp(*form, QStringLiteral("Carla"), QStringLiteral("22233344405"));
    EXPECT_EQ(Rows(0), (QStringList{"1", "2", "3"}));

    // An unknown state leaves the selection as it was; a damaged type code
    // leaves no type selected instead of failing.
    TUserData odd;
    odd.UF = "XX";
    odd.SetTipoInscricao("zz");
    form->UserData = &odd;
    form->LoadFromUserData();
    EXPECT_EQ(form->ComboUF->currentText(), QStringLiteral("PE"));
    EXPECT_EQ(form->ComboTypeId->currentIndex(), -1);
    EXPECT_EQ(form->ltvResp->topLevelItemCount(), 0);
    EXPECT_FALSE(form->BtnRemover->isEnabled());
    EXPECT_EQ(form->RespCounter, 0);
}

// The form folds accented letters as they are typed (its key filters), but
// a record whose texts hold them (written elsewhere, or by a former version)
// shows them as they are and keeps their bytes when accepted: the data files
// are Windows-1252, the form converts both ways.
TEST_F(RequestFormTest, AccentedTextsOfTheRecordShowAndSaveUnchanged)
{
    TUserData data;
    data.SetProfile("01");
    data.SetTipoInscricao("01");
    data.SetInscricao(formtest::ValidCNPJ.toStdString());
    data.Razao = "PADARIA S\xC3O JORGE";
    data.Telefone = "6133334444";
    data.Endereco = "AV. DAS NA\xC7\xD5"
                    "ES, 5";
    data.Bairro = "ASA SUL";
    data.Cidade = "BRAS\xCDLIA";
    data.CEP = "70200000";
    data.UF = "DF";
    data.Email = "jos\xE9@example.com";
    data.RespList() = {"ANA CONCEI\xC7\xC3O", formtest::ValidCPF.toStdString()};
    TUserData before;
    before.Assign(data);
    form->UserData = &data;
    form->LoadFromUserData();

    EXPECT_EQ(form->EditName->text(), U("PADARIA SÃO JORGE"));
    EXPECT_EQ(form->EditAddress->text(), U("AV. DAS NAÇÕES, 5"));
    EXPECT_EQ(form->EditCity->text(), U("BRASÍLIA"));
    EXPECT_EQ(form->EditMail->text(), U("josé@example.com"));
    EXPECT_EQ(Rows(1), QStringList{U("ANA CONCEIÇÃO")});

    ModalScript script;
    QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    EXPECT_EQ(script.texts.size(), 0) << script.texts.join('|').toStdString();
    EXPECT_EQ(form->result(), 1);
    EXPECT_EQ(data.Razao, before.Razao);
    EXPECT_EQ(data.Endereco, before.Endereco);
    EXPECT_EQ(data.Cidade, before.Cidade);
    EXPECT_EQ(data.Email, before.Email);
    EXPECT_EQ(data.RespList(), (std::vector<std::string>{"ANA CONCEI\xC7\xC3O", formtest::ValidCPF.toStdString()}));
}

TEST_F(RequestFormTest, DamagedRecordLoadsWithinTheFieldLimits)
{
    // Values as a damaged or hand-edited data file may hold them: every byte
    // value, texts far beyond the limits, a person without a CPF.
    std::string bytes;
    for (int c = 1; c < 256; ++c)
        bytes += char(c);
    TUserData data;
    data.SetProfile(bytes);
    data.SetTipoInscricao("99999999999999999999");
    data.SetInscricao(bytes);
    data.Razao = bytes;
    data.Telefone = bytes;
    data.Endereco = bytes;
    data.Bairro = bytes;
    data.Cidade = bytes;
    data.CEP = bytes;
    data.UF = bytes;
    data.Email = bytes + bytes;
    data.RespList() = {"ANA", "11111111111", "SEM CPF"};
    form->UserData = &data;
    form->LoadFromUserData();

    EXPECT_EQ(form->ComboTypeId->currentIndex(), -1);
    EXPECT_EQ(form->EditId->text().size(), 14);
    EXPECT_EQ(form->EditName->text().size(), 31);
    EXPECT_EQ(form->EditPhone->text().size(), 12);
    EXPECT_EQ(form->EditAddress->text().size(), 50);
    EXPECT_EQ(form->EditLocale->text().size(), 20);
    EXPECT_EQ(form->EditCity->text().size(), 20);
    EXPECT_EQ(form->EditZip->text().size(), 8);
    EXPECT_EQ(form->EditMail->text().size(), 100);
    EXPECT_EQ(form->ComboUF->currentIndex(), -1);
    EXPECT_EQ(Rows(1), QStringList{QStringLiteral("ANA")}) << "only whole (name, CPF) pairs become rows";
    EXPECT_EQ(form->RespCounter, 1);

    // Nothing is written until the user has put the data right.
    ModalScript script;
    script.Press("OK");
    QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    EXPECT_EQ(script.texts.size(), 1);
    EXPECT_EQ(form->result(), 0);
    EXPECT_EQ(data.Razao, bytes);
}

TEST_F(RequestFormTest, CancelLeavesTheRecordAsItWas)
{
    TUserData data;
    data.SetTipoInscricao("01");
    data.SetProfile("01");
    data.SetInscricao("11222333000181");
    data.Razao = "ORIGINAL";
    data.RespList() = {"ANA", "11111111111"};
    form->UserData = &data;
    form->LoadFromUserData();

    form->EditName->clear();
    QTest::keyClicks(form->EditName, QStringLiteral("outro nome"));
    formtest::AddResp(*form, QStringLiteral("Bruno"), QStringLiteral("52998224725"));
    form->ltvResp->setCurrentItem(form->ltvResp->topLevelItem(0));
    QTest::mouseClick(form->BtnRemover, Qt::LeftButton);
    QTest::mouseClick(form->ButtonCancel, Qt::LeftButton);

    EXPECT_EQ(form->result(), 2);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(data.Razao, "ORIGINAL");
    EXPECT_EQ(data.Inscricao(), "11222333000181");
    EXPECT_EQ(*data.Resp, (std::vector<std::string>{"ANA", "11111111111"}));
}

TEST_F(RequestFormTest, EscapeCancelsWithResultTwo)
{
    form->EditName->setFocus();
    QTest::keyClick(form->EditName, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), 2);
}

TEST_F(RequestFormTest, StoredProfileThatIsNoLongerOfferedMustBeChosenAgain)
{
    TUserData data;
    data.SetProfile("02");
    data.SetTipoInscricao("01");
    data.SetInscricao(formtest::ValidCNPJ.toStdString());
    data.Razao = "LOJA";
    data.Telefone = "84";
    data.Endereco = "RUA A";
    data.Cidade = "NATAL";
    data.CEP = "59000000";
    data.UF = "RN";
    data.RespList() = {"ANA", "11111111111"};
    form->UserData = &data;
    form->LoadFromUserData();
    EXPECT_EQ(form->ComboProfiles->currentIndex(), -1);

    ModalScript script;
    script.Press("OK");
    QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    ASSERT_EQ(script.texts.size(), 1);
    EXPECT_TRUE(script.texts[0].contains(U(IdMissing)));
    EXPECT_EQ(form->result(), 0);
    EXPECT_EQ(data.Profile(), "02");

    form->ComboProfiles->setCurrentIndex(0);
    QTest::mouseClick(form->ButtonOK, Qt::LeftButton);
    EXPECT_EQ(script.unexpected, 0);
    EXPECT_EQ(form->result(), 1);
    EXPECT_EQ(data.Profile(), "01");
}

// The duplicate checks against a real registry in a temporary folder.
class RequestFormRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        appDir = dir.path().toStdString() + "/";
        file = std::make_unique<TRequestFile>(appDir + "ENTITY.DAT");
        registry = std::make_unique<TUsersData>(*file, appDir);
    }

    TUserData* AddEntity(const std::string& tipo, const std::string& inscricao)
    {
        TUserData* entity = registry->Add();
        entity->SetTipoInscricao(tipo);
        entity->SetInscricao(inscricao);
        return entity;
    }

    // Shows the form, types a complete entity and presses OK; returns the
    // texts of the dialogs that came up.
    QStringList TryOk(TFrmRequest& form, const QString& id, int type)
    {
        form.show();
        formtest::FillValid(form, id, type);
        ModalScript script;
        script.Press("OK");
        QTest::mouseClick(form.ButtonOK, Qt::LeftButton);
        return script.texts;
    }

    QTemporaryDir dir;
    std::string appDir;
    std::unique_ptr<TRequestFile> file;
    std::unique_ptr<TUsersData> registry;
};

TEST_F(RequestFormRegistryTest, NewEntityWithATakenIdentifierIsRefused)
{
    AddEntity("01", formtest::ValidCNPJ.toStdString());
    AddEntity("02", "00" + formtest::ValidCEI.toStdString());
    TUserData* fresh = registry->Add();
    registry->Activate(registry->Count());

    for (const auto& [id, type] : {std::pair{formtest::ValidCNPJ, 0}, std::pair{formtest::ValidCEI, 1}}) {
        TFrmRequest form(nullptr, registry.get());
        form.NewEntity = true;
        form.UserData = fresh;
        const QStringList texts = TryOk(form, id, type);
        ASSERT_EQ(texts.size(), 1) << id.toStdString();
        EXPECT_TRUE(texts[0].contains(U(IdTaken))) << id.toStdString();
        EXPECT_EQ(form.result(), 0);
        EXPECT_EQ(fresh->Inscricao(), "") << "a refused entity is not written";
    }

    TFrmRequest form(nullptr, registry.get());
    form.NewEntity = true;
    form.UserData = fresh;
    EXPECT_EQ(TryOk(form, formtest::OtherValidCNPJ, 0).size(), 0);
    EXPECT_EQ(form.result(), 1);
    EXPECT_EQ(fresh->Inscricao(), formtest::OtherValidCNPJ.toStdString());
}

TEST_F(RequestFormRegistryTest, CorrectionMayKeepItsOwnIdentifierButNotTakeAnothers)
{
    AddEntity("01", formtest::ValidCNPJ.toStdString());
    TUserData* second = AddEntity("01", formtest::OtherValidCNPJ.toStdString());
    second->RespList() = {"ANA", "11111111111"};
    registry->Activate(2);

    {
        TFrmRequest form(nullptr, registry.get());
        form.UserData = second;
        form.LoadFromUserData();
        const QStringList texts = TryOk(form, formtest::ValidCNPJ, 0);
        ASSERT_EQ(texts.size(), 1);
        EXPECT_TRUE(texts[0].contains(U(IdTaken)));
        EXPECT_EQ(second->Inscricao(), formtest::OtherValidCNPJ.toStdString());
    }
    {
        TFrmRequest form(nullptr, registry.get());
        form.UserData = second;
        form.LoadFromUserData();
        EXPECT_EQ(TryOk(form, formtest::OtherValidCNPJ, 0).size(), 0);
        EXPECT_EQ(form.result(), 1);
    }
}

// Each page filled in as a user would, shown in turn: no caption may be cut
// short by the layout. With QUORVEX_SCREENSHOT_DIR set (scripts/
// screenshot-request runs this under a virtual X screen) a PNG of the screen
// area of each page is saved there.
TEST(RequestFormScreens, EachFilledPageShowsItsCaptionsWhole)
{
    TFrmRequest form;
    form.NewEntity = true;
    form.move(0, 0);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    // An alphanumeric CNPJ typed in lower case; the name's key filter turns
    // the accented letters into their plain capitals and refuses the "&",
    // and its note says so: "PADARIA CONCEICAO FILHOS".
    QTest::keyClicks(form.EditId, QStringLiteral("12abc34501de35"));
    formtest::TypeText(form.EditName, U("Padaria Conceição & Filhos"));
    QTest::keyClicks(form.EditPhone, QStringLiteral("(61) 3333-4444"));
    QTest::keyClicks(form.EditAddress, QStringLiteral("Av. das Nacoes, quadra 5, lote 12"));
    QTest::keyClicks(form.EditLocale, QStringLiteral("Asa Sul"));
    QTest::keyClicks(form.EditCity, QStringLiteral("Brasilia"));
    QTest::keyClicks(form.EditZip, QStringLiteral("70200-000"));
    form.ComboUF->setCurrentIndex(form.ComboUF->findText(QStringLiteral("DF")));
    QTest::keyClicks(form.EditMail, QStringLiteral("contato@padariasaojorge.com.br"));
    formtest::AddResp(form, QStringLiteral("Maria Aparecida Souza"), formtest::ValidCPF);
    formtest::AddResp(form, QStringLiteral("Jose Carlos Lima"), formtest::OtherCPF);
    formtest::TypeText(form.EdtResp, U("Ana Conceição"));

    const QByteArray outDir = qgetenv("QUORVEX_SCREENSHOT_DIR");
    const char* const names[] = {"request-1-identificacao.png", "request-2-endereco.png", "request-3-responsaveis.png"};
    for (int page = 0; page < 3; ++page) {
        form.PageControl1->setCurrentIndex(page);
        QTest::qWait(50);
        for (QLabel* label : form.PageControl1->widget(page)->findChildren<QLabel*>()) {
            EXPECT_TRUE(label->isVisible()) << label->objectName().toStdString();
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();
        }
        for (QPushButton* button : form.findChildren<QPushButton*>()) {
            if (button->isVisible()) {
                EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
            }
        }
        if (!outDir.isEmpty()) {
            QScreen* screen = form.screen();
            ASSERT_NE(screen, nullptr);
            const QRect area = form.frameGeometry();
            const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            ASSERT_FALSE(shot.isNull());
            EXPECT_TRUE(shot.save(QString::fromLocal8Bit(outDir) + QLatin1Char('/') + QLatin1String(names[page])));
        }
    }
    EXPECT_EQ(form.ltvResp->topLevelItemCount(), 2);
}

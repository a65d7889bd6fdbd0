// The service agreement window, driven as a user would.
#include "agreement/TFrmContrato.h"
#include "agreement/TermXml.h"
#include "base/Texts.h"
#include "store/TUserData.h"
#include "support/ModalAnswerer.h"
#include "ui/HtmlView.h"
#include "support/TempFolder.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTextEdit>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

QString U(const char* Utf8)
{
    return QString::fromUtf8(Utf8);
}

std::string ReadAll(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Accepts the next save dialog with Name (a path) chosen.
void ChooseFile(const std::string& Name, std::function<void()> Then = {})
{
    AnswerNextModal([Name, Then](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        if (Then)
            Then();
        // Typed into the name edit, as a user does: the list may still hold
        // the previous choice.
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromStdString(Name));
        static_cast<QDialog*>(dialog)->accept();
    });
}

void CancelFileDialog()
{
    AnswerNextModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
}

// Answers the next message box with the button Text and records its texts.
void Answer(const QString& Button, QString* Seen = nullptr, std::function<void()> Then = {})
{
    AnswerNextModal([Button, Seen, Then](QWidget* w) {
        if (Seen) {
            auto* box = qobject_cast<QMessageBox*>(w);
            *Seen = box ? box->windowTitle() + "|" + box->text() : QStringLiteral("not a message box");
        }
        if (Then)
            Then();
        EXPECT_TRUE(ClickButton(w, Button)) << Button.toStdString();
    });
}

class TFrmContratoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data_ = tmp_.File("dados/");
        program_ = tmp_.File("programa/");
        fs::create_directories(data_);
        fs::create_directories(program_);
        fs::copy_file(QUORVEX_APP_DIR "ConvEmpr.rtf", program_ + "ConvEmpr.rtf");
        fs::copy_file(QUORVEX_APP_DIR "TermoAdesaoStyle.xsl", program_ + "TermoAdesaoStyle.xsl");
    }
    void TearDown() override { form_.reset(); }

    TFrmContrato& Form()
    {
        if (!form_) {
            TFrmContrato::Setup setup;
            setup.AgreementFile = program_ + "ConvEmpr.rtf";
            setup.DataDir = data_;
            setup.ProgramDir = program_;
            setup.LoadEntity = [this] {
                TUserData e;
                e.SetProfile("01");
                e.SetTipoInscricao("01");
                e.SetInscricao("11222333000181");
                e.Razao = razao_;
                e.Cidade = "Recife";
                e.RespList() = {"Ana Lima", "11111111111", "Bruno Reis", "22222222222"};
                return e;
            };
            form_ = std::make_unique<TFrmContrato>(setup);
            form_->show();
        }
        return *form_;
    }

    void Accept() { Form().cbAceito->setChecked(true); }

    void GenerateTerm()
    {
        Accept();
        Form().btnTermoClick();
    }

    testsupport::TempFolder tmp_{"qv-contrato"};
    std::string data_, program_;
    std::string razao_ = "Alfa Comercio Ltda";
    std::unique_ptr<TFrmContrato> form_;
};

TEST_F(TFrmContratoTest, OpensOnTheAgreementWithTheTermLocked)
{
    TFrmContrato& f = Form();
    EXPECT_EQ(f.windowTitle(), U("Convênio de Prestação de Serviços"));
    EXPECT_EQ(f.PageControl1->currentWidget(), f.tsContrato);
    EXPECT_TRUE(f.reContrato->isReadOnly());
    EXPECT_TRUE(f.reContrato->toPlainText().contains(U("CONVÊNIO DE PRESTAÇÃO DE SERVIÇOS")));
    EXPECT_FALSE(f.cbAceito->isChecked());
    EXPECT_EQ(f.cbAceito->text().remove(QLatin1Char('&')),
              U("Eu concordo com os termos do convênio de prestação de serviço"));
    EXPECT_EQ(f.btnTermo->text().remove(QLatin1Char('&')), U("Termo de Adesão ao Convênio"));
    EXPECT_FALSE(f.btnTermo->isEnabled());
    EXPECT_FALSE(f.btnImprimir->isEnabled());
    EXPECT_FALSE(f.btnFinalizar->isEnabled());
    EXPECT_TRUE(f.btnSalvar->isEnabled());
    EXPECT_EQ(f.memHelp->toPlainText(),
              U("Instruções:\n\n\nVocê deve enviar à Autoridade Certificadora SOMENTE duas vias impressas do termo "
                "de adesão ao convênio de prestação de serviços. \n\nAlertamos que o Convênio de Prestação de "
                "Serviço NÃO necessita ser impresso nem levado à Autoridade Certificadora para assinatura."));
    EXPECT_TRUE(fs::is_directory(data_ + "documentos"));

    f.cbAceito->setChecked(true);
    EXPECT_TRUE(f.btnTermo->isEnabled());
    EXPECT_TRUE(f.btnImprimir->isEnabled());
    f.cbAceito->setChecked(false);
    EXPECT_FALSE(f.btnTermo->isEnabled());
    EXPECT_FALSE(f.btnImprimir->isEnabled());
}

TEST_F(TFrmContratoTest, AnUnreadableAgreementIsReportedAndTheFormClosesItself)
{
    fs::remove(program_ + "ConvEmpr.rtf");
    QString seen;
    AnswerNextModal([&seen](QWidget* w) {
        seen = qobject_cast<QMessageBox*>(w)->text();
        ClickButton(w, "OK");
    });
    TFrmContrato::Setup setup;
    setup.AgreementFile = program_ + "ConvEmpr.rtf";
    setup.DataDir = data_;
    setup.ProgramDir = program_;
    TFrmContrato form(setup);
    EXPECT_EQ(seen, U("Erro ao ler o arquivo que contém o Convênio de Prestação de Serviços. Verifique se o mesmo "
                      "não está sendo utilizado por outro aplicativo. Cannot open file ")
                        + QString::fromStdString(program_ + "ConvEmpr.rtf"));
    EXPECT_EQ(form.exec(), QDialog::Rejected); // closes by itself once shown
}

TEST_F(TFrmContratoTest, GeneratesTheTermAndSwitchesBetweenThePages)
{
    GenerateTerm();
    TFrmContrato& f = Form();
    EXPECT_EQ(f.PageControl1->currentWidget(), f.tsTermo);
    EXPECT_EQ(f.btnTermo->text().remove(QLatin1Char('&')), U("Conv. de Prestação de Serviços"));
    EXPECT_TRUE(f.btnFinalizar->isEnabled());
    EXPECT_TRUE(f.btnImprimir->isEnabled());
    EXPECT_EQ(f.HtmlPath, data_ + "VerTermo.html");
    const QString term = f.wbTermo->toPlainText();
    EXPECT_TRUE(term.contains("Alfa Comercio Ltda"));
    EXPECT_TRUE(term.contains("11.222.333/0001-81"));
    EXPECT_TRUE(term.indexOf("Ana Lima") < term.indexOf("Bruno Reis"));
    EXPECT_TRUE(term.contains(U("TERMO DE ADESÃO")));

    f.btnTermoClick();
    EXPECT_EQ(f.PageControl1->currentWidget(), f.tsContrato);
    EXPECT_EQ(f.btnTermo->text().remove(QLatin1Char('&')), U("Termo de Adesão ao Convênio"));
    EXPECT_FALSE(f.btnFinalizar->isEnabled());
}

TEST_F(TFrmContratoTest, WithoutAStylesheetTheXmlIsWrittenAndNoMessageShown)
{
    fs::remove(program_ + "TermoAdesaoStyle.xsl");
    std::ofstream(data_ + "VerTermo.html") << "<p>Outra Entidade</p>";
    bool asked = false;
    AnswerNextModal(
        [&asked](QWidget* w) {
            asked = true;
            qobject_cast<QDialog*>(w)->reject();
        },
        300);
    GenerateTerm();
    QTest::qWait(400);
    EXPECT_FALSE(asked);
    EXPECT_EQ(Form().PageControl1->currentWidget(), Form().tsTermo);
    EXPECT_TRUE(Form().wbTermo->toPlainText().isEmpty());
    EXPECT_NE(ReadAll(data_ + "TermoAdesao.xml").find("<juridica>Alfa Comercio Ltda</juridica>"), std::string::npos);
}

TEST_F(TFrmContratoTest, AFailedTransformationShowsTheErrorAndAnEmptyPage)
{
    std::ofstream(program_ + "TermoAdesaoStyle.xsl", std::ios::trunc)
        << "<?xml version=\"1.0\"?>\n<xsl:stylesheet version=\"1.0\" "
           "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n<xsl:template match=\"/\">\n"
           "<xsl:value-of select=\"(((\"/></xsl:template></xsl:stylesheet>\n";
    std::ofstream(data_ + "VerTermo.html") << "<p>Outra Entidade</p>";
    QString seen;
    Answer("OK", &seen);
    GenerateTerm();
    EXPECT_TRUE(seen.contains("TermoAdesaoStyle.xsl at line 4")) << seen.toStdString();
    EXPECT_EQ(Form().PageControl1->currentWidget(), Form().tsTermo);
    EXPECT_TRUE(Form().wbTermo->toPlainText().isEmpty());
    EXPECT_FALSE(fs::exists(data_ + "VerTermo.html"));
}

TEST_F(TFrmContratoTest, AnXmlThatCannotBeWrittenStaysOnTheAgreement)
{
    fs::create_directories(data_ + "TermoAdesao.xml");
    QString seen;
    Answer("OK", &seen);
    GenerateTerm();
    EXPECT_TRUE(seen.contains("Cannot create file")) << seen.toStdString();
    EXPECT_EQ(Form().PageControl1->currentWidget(), Form().tsContrato);
    EXPECT_FALSE(Form().btnFinalizar->isEnabled());
}

TEST_F(TFrmContratoTest, SavesTheAgreementUnderTheExtensionRule)
{
    const std::string source = ReadAll(program_ + "ConvEmpr.rtf");
    ChooseFile(data_ + "contrato");
    Form().btnSalvarClick();
    EXPECT_EQ(ReadAll(data_ + "contrato.rtf"), source);
    EXPECT_FALSE(fs::exists(data_ + "contrato"));
    EXPECT_FALSE(Form().TermSaved);

    ChooseFile(data_ + "x.rtf.bak");
    Form().btnSalvarClick();
    EXPECT_EQ(ReadAll(data_ + "x.rtf.bak"), source);
    EXPECT_FALSE(fs::exists(data_ + "x.rtf.bak.rtf"));
}

TEST_F(TFrmContratoTest, AsksBeforeOverwritingTheFileActuallyWritten)
{
    std::ofstream(data_ + "old.rtf") << "old";
    // "old" becomes old.rtf, which exists: asked; No chooses again, then
    // Cancel in the dialog gives up.
    QString seen;
    ChooseFile(data_ + "old", [&] { Answer("Não", &seen, [] { CancelFileDialog(); }); });
    Form().btnSalvarClick();
    EXPECT_EQ(seen, U("AVISO|Arquivo já existe. Deseja sobrescrever ?"));
    EXPECT_EQ(ReadAll(data_ + "old.rtf"), "old");

    ChooseFile(data_ + "old.rtf", [] { Answer("Cancelar"); });
    Form().btnSalvarClick();
    EXPECT_EQ(ReadAll(data_ + "old.rtf"), "old");

    // Enter, pressed by habit, answers No: the choice again, then given up.
    ChooseFile(data_ + "old.rtf", [] {
        AnswerNextModal([](QWidget* w) {
            CancelFileDialog();
            PressEnter(w);
        });
    });
    Form().btnSalvarClick();
    EXPECT_EQ(ReadAll(data_ + "old.rtf"), "old");

    ChooseFile(data_ + "old.rtf", [] { Answer("Sim"); });
    Form().btnSalvarClick();
    EXPECT_EQ(ReadAll(data_ + "old.rtf"), ReadAll(program_ + "ConvEmpr.rtf"));
}

TEST_F(TFrmContratoTest, NeverSavesOntoItsOwnFiles)
{
    const std::string source = ReadAll(program_ + "ConvEmpr.rtf");
    fs::create_symlink(program_ + "ConvEmpr.rtf", data_ + "link.rtf");
    for (const std::string& target : {program_ + "ConvEmpr.rtf", data_ + "link.rtf"}) {
        SCOPED_TRACE(target);
        QString seen;
        ChooseFile(target, [&] { Answer("Sim", nullptr, [&] { Answer("OK", &seen); }); });
        Form().btnSalvarClick();
        EXPECT_EQ(seen, U("E R R O|Erro ao gravar arquivo em disco !"));
        EXPECT_EQ(ReadAll(program_ + "ConvEmpr.rtf"), source);
    }
}

TEST_F(TFrmContratoTest, SavesTheTermAsHtml)
{
    GenerateTerm();
    ChooseFile(data_ + "termo");
    Form().btnSalvarClick();
    EXPECT_TRUE(Form().TermSaved);
    const std::string html = ReadAll(data_ + "termo.htm");
    EXPECT_NE(html.find("Alfa Comercio Ltda"), std::string::npos);
    EXPECT_NE(html.find("<html"), std::string::npos);

    // The page the term is shown from is the form's own file.
    const std::string page = ReadAll(data_ + "VerTermo.html");
    QString seen;
    ChooseFile(data_ + "VerTermo.html", [&] { Answer("Sim", nullptr, [&] { Answer("OK", &seen); }); });
    Form().btnSalvarClick();
    EXPECT_EQ(seen, U("E R R O|Erro ao gravar arquivo em disco !"));
    EXPECT_EQ(ReadAll(data_ + "VerTermo.html"), page);
}

TEST_F(TFrmContratoTest, FinalizarAsksWhatIsLeftToDo)
{
    const struct {
        bool Printed;
        bool Saved;
        const char* Question; // null: closes without asking
        const char* Answer;
        bool Closes;
    } cases[] = {
        {true, false, nullptr, nullptr, true},
        {true, true, nullptr, nullptr, true},
        {false, true, "Deseja finalizar esta aplicação sem antes\nimprimir este termo de adesão ?", "Sim", true},
        {false, true, "Deseja finalizar esta aplicação sem antes\nimprimir este termo de adesão ?", "Não", false},
        {false, false, "Deseja finalizar esta aplicação sem antes\nsalvar em disco seu termo de adesão ?", "Sim", true},
        {false, false, "Deseja finalizar esta aplicação sem antes\nsalvar em disco seu termo de adesão ?", "Não",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Question ? c.Question : "none") + (c.Answer ? c.Answer : ""));
        form_.reset();
        GenerateTerm();
        TFrmContrato& f = Form();
        f.TermPrinted = c.Printed;
        f.TermSaved = c.Saved;
        QString seen;
        if (c.Question)
            Answer(U(c.Answer), &seen);
        f.btnFinalizarClick();
        if (c.Question) {
            EXPECT_EQ(seen, U("AVISO|") + U(c.Question));
        }
        EXPECT_EQ(f.isVisible(), !c.Closes);
    }
}

// Prints to a PDF file through the print dialog and reads the text back.
QString PrintedText(TFrmContrato& Form, const std::string& Pdf)
{
    QPrinter* printer = Form.Printer();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromStdString(Pdf));
    AnswerNextModal([](QWidget* w) { qobject_cast<QDialog*>(w)->accept(); });
    Form.btnImprimirClick();
    QProcess pdftotext;
    pdftotext.start("pdftotext", {QString::fromStdString(Pdf), "-"});
    if (!pdftotext.waitForFinished(30000))
        return QStringLiteral("pdftotext did not run");
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

TEST_F(TFrmContratoTest, PrintsBothDocuments)
{
    Accept();
    const QString agreement = PrintedText(Form(), data_ + "contrato.pdf");
    EXPECT_TRUE(agreement.contains(U("CONVÊNIO DE PRESTAÇÃO DE SERVIÇOS"))) << agreement.left(300).toStdString();
    EXPECT_TRUE(agreement.contains(U("CLÁUSULA DÉCIMA")));
    EXPECT_EQ(Form().Printer()->docName(), U("Contrato de Convênio"));
    EXPECT_FALSE(Form().TermPrinted);

    Form().btnTermoClick();
    const QString term = PrintedText(Form(), data_ + "termo.pdf");
    EXPECT_TRUE(term.contains("Alfa Comercio Ltda")) << term.left(300).toStdString();
    EXPECT_TRUE(term.contains(U("TERMO DE ADESÃO AO CONVÊNIO")));
    EXPECT_TRUE(Form().TermPrinted);
}

} // namespace

namespace {

// Both pages on a real screen: every button shows its whole caption (the
// term button holds either of its two), and with QUORVEX_SCREENSHOT_DIR set
// each page is saved as a PNG.
TEST_F(TFrmContratoTest, BothPagesShowTheirControlsWhole)
{
    razao_ = "Padaria S\xE3o Jorge Ltda"; // Windows-1252, as the data files hold it
    TFrmContrato& f = Form();
    f.move(0, 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.cbAceito->setChecked(true);
    const QByteArray outDir = qgetenv("QUORVEX_SCREENSHOT_DIR");
    const char* const names[] = {"agreement-1-contrato.png", "agreement-2-termo.png"};
    for (int page = 0; page < 2; ++page) {
        if (page == 1) {
            f.btnTermoClick();
            EXPECT_TRUE(f.wbTermo->toPlainText().contains(U("Padaria São Jorge Ltda")));
        }
        QTest::qWait(100);
        EXPECT_EQ(f.PageControl1->currentIndex(), page);
        for (QPushButton* button : f.findChildren<QPushButton*>()) {
            if (button->isVisible()) {
                EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
            }
        }
        EXPECT_GE(f.cbAceito->width(), f.cbAceito->sizeHint().width());
        if (!outDir.isEmpty()) {
            QScreen* screen = f.screen();
            ASSERT_NE(screen, nullptr);
            const QRect area = f.frameGeometry();
            const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            EXPECT_TRUE(shot.save(QString::fromLocal8Bit(outDir) + QLatin1Char('/') + QLatin1String(names[page])));
        }
    }
}

} // namespace

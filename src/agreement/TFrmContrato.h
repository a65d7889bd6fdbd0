#pragma once
// The service agreement window: the agreement text to read and accept, the
// filled-in enrolment term of the active entity made from it, and printing
// and saving of either. Modal; made, shown and released by the main window.
#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QFileDialog;
class QPlainTextEdit;
class QPrinter;
class HelpService;
class QPushButton;
class QStackedWidget;
class QTextDocument;
class QTextEdit;
class HtmlView;
class TSablotEngine;
class TUserData;

class TFrmContrato : public QDialog {
    Q_OBJECT
public:
    struct Setup {
        // The agreement text (RTF), a read-only file of the program.
        std::string AgreementFile;
        // Where the term's XML and page are written, and where saving starts
        // ("documentos/").
        std::string DataDir;
        // Where the term's stylesheet is.
        std::string ProgramDir;
        // A fresh record of the active entity, read from its storage file.
        std::function<TUserData()> LoadEntity;
        // The program's help viewer, which "Ajuda" and F1 open on the
        // agreement's page; null, and help does nothing.
        HelpService* Help = nullptr;
    };

    // Runs the creation steps; an unreadable agreement is reported and the
    // form closes as soon as it is shown.
    explicit TFrmContrato(Setup Options, QWidget* parent = nullptr);
    ~TFrmContrato() override;

    // ---- components ------------------------------------------------------
    QPlainTextEdit* memHelp = nullptr;      // read-only help panel, left
    QStackedWidget* PageControl1 = nullptr; // the two pages, no tabs
    QWidget* tsContrato = nullptr;          // "Contrato"
    QTextEdit* reContrato = nullptr;        // the agreement, read-only rich text
    QCheckBox* cbAceito = nullptr;          // "Eu concordo ..."
    QWidget* tsTermo = nullptr;             // "Termo Adesão"
    HtmlView* wbTermo = nullptr;            // the term page
    QPushButton* btnTermo = nullptr;        // "Termo de Adesão ao Convênio" / "Conv. de Prestação de Serviços"
    QPushButton* btnSalvar = nullptr;
    QPushButton* btnImprimir = nullptr;
    QPushButton* btnCancelar = nullptr;
    QPushButton* btnFinalizar = nullptr;
    QPushButton* ButtonHelp = nullptr; // "Ajuda": the agreement's help page
    // The save dialog (Qt's own, so that tests can choose a file).
    QFileDialog* SaveDialog = nullptr;

    // ---- state -----------------------------------------------------------
    bool TermPrinted = false;
    bool TermSaved = false;
    // The page shown on the term page; empty when there is none.
    std::string HtmlPath;

    // The printer both documents go to; the print dialog is shown on it.
    // Tests point it at a PDF file.
    QPrinter* Printer();
    TSablotEngine& Engine() { return *engine_; }
    bool TermInView() const;

    // ---- event handlers --------------------------------------------------
    void FormActivate();
    void cbAceitoClick();
    void btnTermoClick();
    void btnSalvarClick();
    void btnImprimirClick();
    void btnCancelarClick();
    void btnFinalizarClick();

protected:
    void changeEvent(QEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    void CreateComponents();
    bool LoadAgreement(QString& Error);
    void ShowTermPage();
    void ShowAgreementPage();
    // The printer is asked for in the print dialog; true when it printed.
    bool PrintDocument(QTextDocument& Document, const QString& JobName);
    // Asks for the target of a save, the extension rule applied; empty when
    // the user gave up.
    QString ChooseSaveTarget(bool Agreement);
    // True for a file the form itself reads or writes, or a data file.
    bool IsOwnFile(const QString& Target) const;
    // DefaultButton, when given, is the button that Enter presses (No before
    // a file is replaced); else Qt's choice.
    int Ask(const QString& Text, const QString& Title, int Buttons, const QString& Detail = {}, int DefaultButton = 0);
    void ShowWriteError();

    Setup setup_;
    std::unique_ptr<TSablotEngine> engine_;
    std::unique_ptr<QPrinter> printer_;
};

// The main window driven for real on the offscreen platform: the action rule
// and next-task text for every state, switching entity, start-up failure and
// what shutdown writes.
#include "app/SampleData.h"
#include "app/TCustomView.h"
#include "app/TForm1.h"
#include "app/TViews.h"
#include "app/steps/TEntitySession.h"
#include "ui/TDialog.h"
#include "store/AtomicFileWriter.h"
#include "store/StoreErrors.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"
#include "support/FindNamed.h"
#include "support/ModalAnswerer.h"
#include "ui/HtmlView.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTest>
#include <QToolButton>
#include <QImage>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <set>

using sample::State;
using namespace testsupport;

namespace {

const std::set<std::string> kStateDriven = {"FileNew",       "FileDeal",    "FileRemove",    "FileRename",
                                            "FileDisk",      "FileImport",  "FileExport",    "RequestFill",
                                            "RequestRemove", "RequestSend", "RequestReceive"};
const std::set<std::string> kAlways = {"RequestAdd", "FileBackup", "FileExit", "HelpTopics", "HelpHow", "HelpAbout"};

std::set<std::string> Enabled(const TForm1& form)
{
    std::set<std::string> names;
    for (QAction* a : form.WorkflowActions())
        if (a->isEnabled())
            names.insert(a->objectName().toStdString());
    return names;
}

std::set<std::string> With(std::set<std::string> extra)
{
    extra.insert(kAlways.begin(), kAlways.end());
    return extra;
}

class Folder {
public:
    Folder() { EXPECT_TRUE(tmp_.isValid()); }
    std::string Dir() const { return tmp_.path().toStdString() + "/"; }
    std::string File(const std::string& name) const { return Dir() + name; }

private:
    QTemporaryDir tmp_;
};

ino_t Inode(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The actions the session allows, by the names of the window's actions.
std::set<std::string> AllowedNames(const TAllowedActions& a)
{
    const std::pair<bool, const char*> all[] = {
        {a.FileNew, "FileNew"},
        {a.FileDeal, "FileDeal"},
        {a.FileRemove, "FileRemove"},
        {a.FileRename, "FileRename"},
        {a.FileDisk, "FileDisk"},
        {a.FileImport, "FileImport"},
        {a.FileExport, "FileExport"},
        {a.RequestFill, "RequestFill"},
        {a.RequestRemove, "RequestRemove"},
        {a.RequestSend, "RequestSend"},
        {a.RequestReceive, "RequestReceive"},
    };
    std::set<std::string> names;
    for (const auto& [on, name] : all)
        if (on)
            names.insert(name);
    return names;
}

struct StateCase {
    const char* label;
    State state;
    const char* sentence; // opening sentence as displayed
    const char* link;     // link target
};

} // namespace

TEST(MainWindow, NoEntityEnablesOnlyTheAlwaysOnActionsAndAsksForAnEntity)
{
    Folder folder;
    TForm1 form(folder.Dir());
    EXPECT_FALSE(form.HasStartFailed());
    EXPECT_EQ(Enabled(form), kAlways);
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->count(), 0);
    const QString tip = FindNamed<HtmlView>(form, "Tip")->toPlainText();
    EXPECT_TRUE(tip.contains(QString::fromUtf8("Antes obter um certificado eletrônico para acesso ao sistema "
                                               "Vinculum, você deve primeiro cadastrar uma entidade.")))
        << tip.toStdString();
    EXPECT_TRUE(tip.contains(QString::fromUtf8("Sua próxima tarefa:")));
    EXPECT_TRUE(FindNamed<HtmlView>(form, "Tip")->toHtml().contains(QStringLiteral("href=\"RequestAdd\"")));
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Cliente de Certificação Quorvex"));
}

// The rule table itself is the entity rules' test: here the window shows
// what the session allows and the text of the task it names.
TEST(MainWindow, EachStateEnablesWhatTheSessionAllowsAndShowsItsNextTask)
{
    const StateCase cases[] = {
        {"registered", State::Registered,
         "Para obter um certificado eletrônico para acesso ao sistema Vinculum, você deve primeiro preencher "
         "uma requisição à Autoridade Certificadora.",
         "RequestFill"},
        {"filled", State::Filled,
         "Você deve agora criar pelo menos um certificado eletrônico, a ser assinado pela Autoridade "
         "Certificadora.",
         "FileNew"},
        {"created", State::Created, "A partir de agora, você pode enviar sua requisição à Autoridade Certificadora.",
         "RequestSend"},
        {"sent", State::Sent,
         "Após a assinatura do convênio de prestação de serviços, a Autoridade Certificadora deve lhe "
         "fornecer um disquete contendo seu certificado eletrônico assinado.",
         "RequestReceive"},
        {"received, all signed", State::ReceivedAllSigned,
         "Finalmente, você está apto a utilizar seu certificado eletrônico para acesso ao sistema Vinculum.",
         "FileDisk"},
        {"received, one unsigned", State::ReceivedOneUnsigned,
         "Finalmente, você está apto a utilizar seu certificado eletrônico para acesso ao sistema Vinculum.",
         "FileDisk"},
    };
    for (const StateCase& c : cases) {
        SCOPED_TRACE(c.label);
        Folder folder;
        sample::Write(folder.Dir(), {sample::Make("Alfa Comercio Ltda", "11222333000181", c.state)});
        TForm1 form(folder.Dir());
        ASSERT_FALSE(form.HasStartFailed());
        ASSERT_TRUE(form.Session());
        EXPECT_EQ(Enabled(form), With(AllowedNames(form.Session()->Allowed(false))));
        const QString tip = FindNamed<HtmlView>(form, "Tip")->toPlainText().simplified();
        EXPECT_TRUE(tip.contains(QString::fromUtf8(c.sentence))) << tip.toStdString();
        EXPECT_TRUE(FindNamed<HtmlView>(form, "Tip")
                        ->toHtml()
                        .contains(QStringLiteral("href=\"%1\"").arg(QLatin1String(c.link))));
        // Only the RequestSend text has its heading without the colon.
        EXPECT_EQ(tip.contains(QString::fromUtf8("Sua próxima tarefa:")), c.state != State::Created);
        EXPECT_TRUE(tip.contains(QStringLiteral("Central de Atendimento: ")));
        EXPECT_EQ(form.windowTitle(),
                  QString::fromUtf8("Cliente de Certificação Quorvex - Entidade Ativa: Alfa Comercio Ltda"));
        EXPECT_EQ(form.size(), QSize(640, 400));
    }
}

TEST(MainWindow, SelectorListsEntitiesAndSwitchingAppliesTheClosingStep)
{
    Folder folder;
    // Entity 1 says a request was sent but has no certificate left: the
    // closing step must still leave the certificate actions off.
    auto stale = sample::Make("Alfa", "11222333000181", State::Registered);
    stale.General.push_back({"RequestSent", "1"});
    sample::Write(folder.Dir(), {stale, sample::Make("Beta", "22333444000155", State::ReceivedAllSigned)}, 2);
    TForm1 form(folder.Dir());
    ASSERT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->count(), 2);
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->itemText(0), QStringLiteral("1 - Alfa (11222333000181)"));
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->itemText(1), QStringLiteral("2 - Beta (22333444000155)"));
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->currentIndex(), 1);
    EXPECT_TRUE(FindNamed<QAction>(form, "FileDisk")->isEnabled());
    ASSERT_TRUE(form.ActiveEntityView());
    EXPECT_EQ(form.ActiveEntityView(), form.EntityViews()->View(2));
    EXPECT_EQ(form.ActiveEntityView()->count(), 2);

    // As the user does it: keyboard on the selector.
    FindNamed<QComboBox>(form, "cbxEntity")->setFocus();
    QTest::keyClick(FindNamed<QComboBox>(form, "cbxEntity"), Qt::Key_Up);
    EXPECT_EQ(form.Session()->Registry().ActiveIndex(), 1);
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Cliente de Certificação Quorvex - Entidade Ativa: Alfa"));
    EXPECT_EQ(form.Session()->ActiveStorage(), form.Session()->Registry().Storage(1));
    EXPECT_EQ(form.ActiveEntityView(), form.EntityViews()->View(1));
    EXPECT_FALSE(form.EntityViews()->View(2)->isVisibleTo(FindNamed<QWidget>(form, "panWork")));
    EXPECT_TRUE(form.EntityViews()->View(1)->isVisibleTo(FindNamed<QWidget>(form, "panWork")));
    EXPECT_EQ(Enabled(form), With({"FileNew", "FileDeal", "RequestFill", "RequestRemove"}));
    // The switch is on disk at once.
    TRequestFile onDisk(folder.File("ENTITY.DAT"));
    EXPECT_EQ(onDisk.ReadInteger("General", "ActiveIndex", 0), 1);

    QTest::keyClick(FindNamed<QComboBox>(form, "cbxEntity"), Qt::Key_Down);
    EXPECT_EQ(form.Session()->Registry().ActiveIndex(), 2);
    EXPECT_TRUE(FindNamed<QAction>(form, "FileDisk")->isEnabled());
    EXPECT_FALSE(FindNamed<QAction>(form, "FileNew")->isEnabled());
}

namespace {

// Four entities that text alone cannot tell apart: the second Razao carries
// the first entity's inscription, and the fourth (a restored or hand-made
// folder) shares it.
void WriteLookalikes(const Folder& folder)
{
    sample::Write(folder.Dir(), {sample::Make("Alfa", "11222333000181", State::Filled),
                                 sample::Make("Gama (11222333000181) Ltda", "33444555000122", State::Created),
                                 sample::Make("Delta (Filial)", "44555666000133", State::Sent),
                                 sample::Make("Alfa Filial", "11222333000181", State::Created)});
}

} // namespace

TEST(MainWindow, SelectorChoosesByPositionWhateverTheTextsHold)
{
    Folder folder;
    WriteLookalikes(folder);
    TForm1 form(folder.Dir());
    for (int index : {1, 2, 0, 3, 0}) {
        FindNamed<QComboBox>(form, "cbxEntity")->setCurrentIndex(index);
        form.cbxEntityChange();
        EXPECT_EQ(form.Session()->Registry().ActiveIndex(), index + 1);
        EXPECT_EQ(form.Session()->ActiveEntity(), form.Session()->Registry().Entity(index + 1));
    }
    FindNamed<QComboBox>(form, "cbxEntity")->setCurrentIndex(2);
    form.cbxEntityChange();
    EXPECT_TRUE(FindNamed<QAction>(form, "RequestSend")->isEnabled());
    EXPECT_TRUE(FindNamed<QAction>(form, "RequestReceive")->isEnabled());
}

TEST(MainWindow, TypingInTheSearchFieldNarrowsTheSelector)
{
    Folder folder;
    WriteLookalikes(folder);
    TForm1 form(folder.Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto shown = [&] {
        QStringList items;
        for (int i = 0; i < FindNamed<QComboBox>(form, "cbxEntity")->count(); ++i)
            items << FindNamed<QComboBox>(form, "cbxEntity")->itemText(i);
        return items.join(QLatin1Char('|'));
    };
    // Ctrl+F reaches the field from anywhere in the window, and the field
    // says so.
    FindNamed<QComboBox>(form, "cbxEntity")->setFocus();
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), FindNamed<QLineEdit>(form, "EditEntitySearch"));
    EXPECT_TRUE(FindNamed<QLineEdit>(form, "EditEntitySearch")->placeholderText().contains(QStringLiteral("Ctrl+F")));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("filial"));
    // The active entity (the first) is not found, yet stays listed and
    // selected: its certificates are the ones shown. The narrowing
    // switched nothing.
    EXPECT_EQ(shown(), QStringLiteral("1 - Alfa (11222333000181)|3 - Delta (Filial) (44555666000133)|4 - Alfa Filial "
                                      "(11222333000181)"));
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->currentIndex(), 0);
    EXPECT_EQ(form.Session()->Registry().ActiveIndex(), 1);
    EXPECT_EQ(form.ActiveEntityView(), form.EntityViews()->View(1));

    FindNamed<QLineEdit>(form, "EditEntitySearch")->clear();
    QTest::keyClicks(FindNamed<QLineEdit>(form, "EditEntitySearch"), QStringLiteral("11.222.333/0001"));
    EXPECT_EQ(shown(), QStringLiteral("1 - Alfa (11222333000181)|4 - Alfa Filial (11222333000181)"));
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->currentIndex(), 0);

    // One entity found: Enter makes it active.
    FindNamed<QLineEdit>(form, "EditEntitySearch")->clear();
    QTest::keyClicks(FindNamed<QLineEdit>(form, "EditEntitySearch"), QStringLiteral("4455566"));
    QTest::keyClick(FindNamed<QLineEdit>(form, "EditEntitySearch"), Qt::Key_Return);
    EXPECT_EQ(form.Session()->Registry().ActiveIndex(), 3);
    EXPECT_TRUE(FindNamed<QAction>(form, "RequestReceive")->isEnabled());

    // Several: Enter opens the list, where the keys choose.
    FindNamed<QLineEdit>(form, "EditEntitySearch")->clear();
    QTest::keyClicks(FindNamed<QLineEdit>(form, "EditEntitySearch"), QStringLiteral("alfa"));
    QTest::keyClick(FindNamed<QLineEdit>(form, "EditEntitySearch"), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return FindNamed<QComboBox>(form, "cbxEntity")->view()->isVisible(); }));
    QTest::keyClick(FindNamed<QComboBox>(form, "cbxEntity")->view(), Qt::Key_Down);
    QTest::keyClick(FindNamed<QComboBox>(form, "cbxEntity")->view(), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Session()->Registry().ActiveIndex() == 4; }));
    EXPECT_EQ(form.Session()->ActiveEntity(), form.Session()->Registry().Entity(4));

    // Emptied with its clear button, which a screen reader names, the list
    // shows every entity again, the active one selected.
    QList<QToolButton*> clear;
    for (QToolButton* button : FindNamed<QLineEdit>(form, "EditEntitySearch")->findChildren<QToolButton*>())
        if (button->isVisible())
            clear << button;
    ASSERT_EQ(clear.size(), 1);
    EXPECT_EQ(clear[0]->accessibleName(), QStringLiteral("Limpar o campo Localizar"));
    QTest::mouseClick(clear[0], Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return FindNamed<QLineEdit>(form, "EditEntitySearch")->text().isEmpty(); }));
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->count(), 4);
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->currentIndex(), 3);
}

// The entity selector, reached with its Alt letter, shows a frame in the
// highlight colour around it; without the keyboard it shows none.
TEST(MainWindow, TheEntitySelectorShowsAFrameWhileItHasTheKeyboard)
{
    Folder folder;
    WriteLookalikes(folder);
    TForm1 form(folder.Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QApplication::setActiveWindow(&form);
    EXPECT_EQ(FindNamed<QLabel>(form, "Label1")->text(), QStringLiteral("&Selecione uma Entidade"));
    // Pixels of the highlight colour on the line just above the selector.
    auto framed = [&] {
        const QImage panel = FindNamed<QWidget>(form, "Panel2")->grab().toImage();
        const QRect box = FindNamed<QComboBox>(form, "cbxEntity")->geometry();
        const QColor highlight = FindNamed<QWidget>(form, "Panel2")->palette().color(QPalette::Highlight);
        int count = 0;
        for (int x = box.left(); x <= box.right(); ++x)
            if (panel.pixelColor(x, box.top() - 2) == highlight)
                ++count;
        return double(count) / box.width();
    };
    FindNamed<QLineEdit>(form, "EditEntitySearch")->setFocus();
    EXPECT_LT(framed(), 0.1);
    QTest::keyClick(FindNamed<QLineEdit>(form, "EditEntitySearch"), Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(FindNamed<QComboBox>(form, "cbxEntity")->hasFocus());
    EXPECT_TRUE(FindNamed<QLineEdit>(form, "EditEntitySearch")->text().isEmpty()) << "Alt+S typed into the field";
    EXPECT_GT(framed(), 0.9);
}

TEST(MainWindow, RefreshEntityListRebuildsTheSelectorAndReappliesTheRule)
{
    Folder folder;
    sample::Write(folder.Dir(), {sample::Make("Alfa", "11222333000181", State::Sent),
                                 sample::Make("Beta", "22333444000155", State::Filled)});
    TForm1 form(folder.Dir());
    form.Session()->ActiveStorage()->WriteString("General", "RequestReceived", "1");
    form.Session()->ActiveEntity()->Razao = "Alfa Renomeada";
    form.RefreshEntityList();
    ASSERT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->count(), 2);
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->itemText(0),
              QStringLiteral("1 - Alfa Renomeada (11222333000181)"));
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->currentIndex(), 0);
    EXPECT_TRUE(FindNamed<QAction>(form, "FileDisk")->isEnabled());
    EXPECT_TRUE(FindNamed<HtmlView>(form, "Tip")->toHtml().contains(QStringLiteral("href=\"FileDisk\"")));
}

TEST(MainWindow, MenusHoldTheActionsInTheirPlacesWithShortcuts)
{
    Folder folder;
    TForm1 form(folder.Dir());
    const auto menus = form.menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("&Arquivo"));
    EXPECT_EQ(menus[1]->text(), QString::fromUtf8("&Requisição"));
    EXPECT_EQ(menus[2]->text(), QStringLiteral("&?"));
    auto layout = [](QMenu* menu) {
        QStringList items;
        for (QAction* a : menu->actions())
            items << (a->isSeparator() ? QStringLiteral("-")
                                       : a->text() + (a->isVisible() ? QString() : QStringLiteral("(hidden)")));
        return items.join(QLatin1Char('|'));
    };
    EXPECT_EQ(layout(FindNamed<QMenu>(form, "MenuFile")),
              QString::fromUtf8("&Novo...|&Remover|Reno&mear|Criar &Disquete|-|&Cópia de Segurança|"
                                "&Importar...|&Exportar...|-|Con&vênio|Mídia Removíve&l...|-|&Sair"));
    EXPECT_EQ(layout(FindNamed<QMenu>(form, "MenuRequest")),
              QString::fromUtf8("Nova &Entidade...|&Preencher...|Remover Enti&dade...|&Enviar|-|&Receber|-|"
                                "Visão &Geral das Entidades..."));
    EXPECT_EQ(layout(FindNamed<QMenu>(form, "MenuHelp")),
              QString::fromUtf8("&Tópicos da Ajuda...|&Como fazer para...|-|&Sobre..."));
    EXPECT_EQ(layout(FindNamed<QMenu>(form, "PopupMenu")),
              QStringLiteral("&Novo...|-|&Remover|Reno&mear|-|Criar &Disquete"));

    EXPECT_EQ(FindNamed<QAction>(form, "FileDisk")->shortcut(), QKeySequence(QStringLiteral("Ctrl+D")));
    EXPECT_TRUE(FindNamed<QAction>(form, "RequestRemove")->shortcut().isEmpty());
    EXPECT_EQ(FindNamed<QAction>(form, "FileRemove")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Del")));
    EXPECT_EQ(FindNamed<QAction>(form, "FileImport")->shortcut(), QKeySequence(QStringLiteral("Ctrl+I")));
    EXPECT_EQ(FindNamed<QAction>(form, "HelpTopics")->shortcut(), QKeySequence(QStringLiteral("F1")));
    // No two actions share a key: Qt would fire neither.
    std::set<QString> keys;
    for (QAction* a : form.WorkflowActions()) {
        if (!a->shortcut().isEmpty()) {
            EXPECT_TRUE(keys.insert(a->shortcut().toString()).second) << a->objectName().toStdString();
        }
    }
    EXPECT_EQ(form.CertificateIcons().size(), 2);
    EXPECT_FALSE(form.CertificateIcons()[0].pixmap(32, 32).toImage()
                 == form.CertificateIcons()[1].pixmap(32, 32).toImage());
}

TEST(MainWindow, ImportAndExportAreReachedFromTheMenuAndImportByItsShortcut)
{
    Folder folder;
    sample::Write(folder.Dir(), {sample::Make("Alfa", "11222333000181", State::Created)});
    TForm1 form(folder.Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QApplication::setActiveWindow(&form);
    int imports = 0, exports = 0;
    QObject::connect(FindNamed<QAction>(form, "FileImport"), &QAction::triggered, [&] { ++imports; });
    QObject::connect(FindNamed<QAction>(form, "FileExport"), &QAction::triggered, [&] { ++exports; });
    // Each step asks for its file first: cancelled here.
    auto cancel = [](QWidget* dlg) {
        if (auto* dialog = qobject_cast<QDialog*>(dlg))
            dialog->reject();
    };
    AnswerNextModal(cancel);
    QTest::keyClick(&form, Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(imports, 1);

    // Alt+A opens the menu, E (the underlined letter of "&Exportar...")
    // starts the export.
    ASSERT_TRUE(FindNamed<QAction>(form, "FileExport")->isEnabled());
    // The window manager's part: the window has the keyboard again once the
    // dialog is gone.
    QApplication::setActiveWindow(&form);
    AnswerNextModal(cancel);
    QTest::keyClick(&form, Qt::Key_A, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return FindNamed<QMenu>(form, "MenuFile")->isVisible(); }));
    QTest::keyClick(FindNamed<QMenu>(form, "MenuFile"), Qt::Key_E);
    EXPECT_TRUE(QTest::qWaitFor([&] { return exports == 1; }));
}

TEST(MainWindow, UnreadableRegistryStopsTheStartWithTheMessageAndWritesNothing)
{
    Folder folder;
    // A folder where the registry file should be cannot be read as one.
    std::filesystem::create_directory(folder.File("ENTITY.DAT"));
    QString shown;
    AnswerNextModal([&](QWidget* dlg) {
        shown = DialogText(dlg);
        ClickButton(dlg, QStringLiteral("OK"));
    });
    {
        TForm1 form(folder.Dir());
        EXPECT_TRUE(form.HasStartFailed());
    }
    EXPECT_TRUE(shown.contains(QString::fromUtf8(
        "Não foi possível abrir o arquivo de dados da aplicação. Ela será imediatamente terminada. Se o "
        "problema persistir, entre em contato com o atendimento da Autoridade Certificadora e informe a "
        "seguinte mensagem de erro: EFOpenError - Cannot open file ")))
        << shown.toStdString();
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("ENTITY.DAT")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Dir()), {}), 1);
}

TEST(MainWindow, ShutdownWritesTheCountersButNothingAfterARestore)
{
    Folder folder;
    sample::Write(folder.Dir(), {sample::Make("Alfa", "11222333000181", State::Created),
                                 sample::Make("Beta", "22333444000155", State::Filled)});
    {
        auto form = std::make_unique<TForm1>(folder.Dir());
        FindNamed<QComboBox>(*form, "cbxEntity")->setCurrentIndex(1);
        form->cbxEntityChange();
        // Damage the counters in the file: shutdown must put them back.
        form->Session()->RegistryFile().WriteInteger("General", "Count", 9);
        form->Session()->RegistryFile().WriteInteger("General", "ActiveIndex", 9);
    }
    TRequestFile registry(folder.File("ENTITY.DAT"));
    EXPECT_EQ(registry.ReadInteger("General", "Count", 0), 2);
    EXPECT_EQ(registry.ReadInteger("General", "CountAll", 0), 2);
    EXPECT_EQ(registry.ReadInteger("General", "ActiveIndex", 0), 2);

    const std::vector<std::string> files = {"ENTITY.DAT", "STORAGE.1.DAT", "STORAGE.2.DAT"};
    auto form = std::make_unique<TForm1>(folder.Dir());
    std::vector<std::string> bytes;
    std::vector<ino_t> inodes;
    for (const auto& f : files) {
        bytes.push_back(sample::ReadFile(folder.File(f)));
        inodes.push_back(Inode(folder.File(f)));
    }
    form->Session()->RegistryFile().WriteInteger("General", "Count", 7);
    form->Session()->ActiveStorage()->WriteString("General", "MasterKey", "");
    form->SetRestoredFlag(1);
    form.reset();
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        EXPECT_EQ(sample::ReadFile(folder.File(files[i])), bytes[i]);
        // Every save replaces the file, so an unchanged inode means no save.
        EXPECT_EQ(Inode(folder.File(files[i])), inodes[i]);
    }
}

namespace {
// A disk that refuses every write.
class RefusingWriter : public AtomicFileWriter {
public:
    void WriteFile(const std::string& FileName, std::string_view) override
    {
        throw EFCreateError(FileErrors::CannotCreateFile(FileName));
    }
};
} // namespace

TEST(MainWindow, FailedSaveAtShutdownIsReportedAndLeavesTheFileAsItWas)
{
    Folder folder;
    sample::Write(folder.Dir(), {sample::Make("Alfa", "11222333000181", State::Created)});
    auto form = std::make_unique<TForm1>(folder.Dir());
    const std::string before = sample::ReadFile(folder.File("ENTITY.DAT"));
    form->Session()->RegistryFile().WriteInteger("General", "CountAll", 5);
    form->Session()->RegistryFile().SetWriter(std::make_shared<RefusingWriter>());
    QString shown;
    AnswerNextModal([&](QWidget* dlg) {
        shown = DialogText(dlg);
        ClickButton(dlg, QStringLiteral("OK"));
    });
    form.reset();
    EXPECT_TRUE(shown.contains(QString::fromUtf8(
        "Ocorreu um erro ao tentar salvar os dados da aplicação em disco. Todas as informações serão perdidas. "
        "Se o problema persistir, entre em contato com o atendimento da Autoridade Certificadora e informe a "
        "seguinte mensagem de erro: Cannot create file ")))
        << shown.toStdString();
    EXPECT_EQ(sample::ReadFile(folder.File("ENTITY.DAT")), before);
}

TEST(MainWindow, RegistryAdditionsAndRemovalsAreFollowedByTheViews)
{
    Folder folder;
    sample::Write(folder.Dir(), {sample::Make("Alfa", "11222333000181", State::Created),
                                 sample::Make("Beta", "22333444000155", State::Filled)});
    TForm1 form(folder.Dir());
    ASSERT_EQ(form.EntityViews()->Count(), 2);
    TCustomView* alfa = form.EntityViews()->View(1);
    form.Session()->Registry().Add();
    EXPECT_EQ(form.EntityViews()->Count(), 3);
    EXPECT_EQ(form.ActiveEntityView(), form.EntityViews()->View(3));
    form.Session()->Registry().Remove(2);
    EXPECT_EQ(form.EntityViews()->Count(), 2);
    EXPECT_EQ(form.EntityViews()->View(1), alfa);
    EXPECT_EQ(form.EntityViews()->View(1)->count(), 2);
    // The view that was current went with its entity.
    form.Session()->Registry().Remove(2);
    EXPECT_EQ(form.EntityViews()->Count(), 1);
    EXPECT_EQ(form.ActiveEntityView(), nullptr);
    EXPECT_EQ(form.EntityViews()->ShowView(0), nullptr);
    EXPECT_EQ(form.EntityViews()->ShowView(1), alfa);
}

namespace {
QPoint AnchorPoint(HtmlView& view, const QString& href)
{
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().anchorHref() == href) {
                QTextCursor cursor(view.document());
                cursor.setPosition(it.fragment().position() + it.fragment().length() / 2);
                return view.cursorRect(cursor).center();
            }
    return {-1, -1};
}
} // namespace

TEST(MainWindow, ClickingTheTipLinkRunsItsStep)
{
    Folder folder;
    TForm1 form(folder.Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QPoint at = AnchorPoint(*FindNamed<HtmlView>(form, "Tip"), QStringLiteral("RequestAdd"));
    ASSERT_GE(at.x(), 0);
    QString opened;
    AnswerNextModal([&](QWidget* dlg) {
        opened = QString::fromLatin1(dlg->metaObject()->className());
        dlg->close();
    });
    QTest::mouseClick(FindNamed<HtmlView>(form, "Tip")->viewport(), Qt::LeftButton, {}, at);
    // The new-entity step ran (its form came up) and was cancelled.
    EXPECT_EQ(opened, QStringLiteral("TFrmRequest"));
    EXPECT_EQ(form.Session()->Registry().Count(), 0);
    // Targets are matched without regard to case; unknown ones do nothing.
    form.TipHotSpotClick(QStringLiteral("nowhere"));
    opened.clear();
    AnswerNextModal([&](QWidget* dlg) {
        opened = QString::fromLatin1(dlg->metaObject()->className());
        dlg->close();
    });
    form.TipHotSpotClick(QStringLiteral("requestadd"));
    EXPECT_EQ(opened, QStringLiteral("TFrmRequest"));
}

// Whatever leaves an action or a tip link, an exception of no standard class
// included, the next one runs: the running mark must not stay set for good.
TEST(MainWindow, AnyExceptionLeavingAnActionLetsTheNextOneRun)
{
    Folder folder;
    sample::Write(folder.Dir(), {sample::Make("Alfa Comercio Ltda", "11222333000181", State::Sent)});
    TForm1 form(folder.Dir());
    struct Case {
        const char* what;
        std::function<void()> run;
    } cases[] = {
        {"an action", [&] { FindNamed<QAction>(form, "RequestRemove")->trigger(); }},
        {"a tip link",
         [&] {
             bool handled = false;
             emit FindNamed<HtmlView>(form, "Tip")->HotSpotClick(QStringLiteral("RequestReceive"), handled);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The step's first question raises what no handler catches.
        FindNamed<TDialog>(form, "Dlg")->BeforeShow = [](QWidget*) { throw 42; };
        EXPECT_THROW(c.run(), int);
        FindNamed<TDialog>(form, "Dlg")->BeforeShow = nullptr;
        QString asked;
        AnswerNextModal([&](QWidget* dlg) {
            asked = DialogText(dlg);
            ClickButton(dlg, QStringLiteral("Cancel"));
        });
        c.run();
        EXPECT_FALSE(asked.isEmpty()) << "the next one ran and asked its question";
    }
    EXPECT_EQ(form.Session()->Registry().Count(), 1);
}

TEST(MainWindow, AboutBoxShowsTitleServiceAndVersion)
{
    Folder folder;
    TForm1 form(folder.Dir());
    QString title, text;
    AnswerNextModal([&](QWidget* dlg) {
        title = dlg->windowTitle();
        text = DialogText(dlg);
        ClickButton(dlg, QStringLiteral("ButtonOK"));
    });
    FindNamed<QAction>(form, "HelpAbout")->trigger();
    EXPECT_EQ(title, QString::fromUtf8("Sobre o Cliente de Certificação Quorvex"));
    EXPECT_TRUE(text.contains(QString::fromUtf8("Cliente de Certificação Quorvex\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("Vinculum\n")));
    EXPECT_TRUE(text.contains(QRegularExpression(QString::fromUtf8("Versão \\d+\\.\\d+\\.\\d+\\.\\d+\\n"))))
        << text.toStdString();
}

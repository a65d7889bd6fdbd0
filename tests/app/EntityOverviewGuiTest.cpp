// The overview of the entities driven through the real main window on the
// offscreen platform: opened by its shortcut, sorted by a click on a column
// title, narrowed by typing and to the pending entities, an entity chosen
// with Enter (and with a double click, the window kept open), and the list
// exported through Qt's own save dialog. With QUORVEX_SCREENSHOT_DIR set
// (scripts/screenshot-dialogs runs it on a virtual X screen) a PNG of the
// window is saved there for the help page.
#include "app/EntityOverviewDialog.h"
#include "app/SampleData.h"
#include "app/TForm1.h"
#include "app/steps/TEntitySession.h"
#include "store/TUserData.h"
#include "support/FindNamed.h"
#include "support/ModalAnswerer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using sample::State;
using namespace testsupport;

namespace {

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The office of the tests: one entity in each state, names with accents
// (Windows-1252, as the data files hold them) and a ";".
std::vector<sample::Entity> Office()
{
    return {sample::Make("Alfa Com\xe9rcio Ltda", "11222333000181", State::Registered),
            sample::Make("Beta Servi\xe7os S.A.", "22333444000155", State::Filled),
            sample::Make("Gama (Filial S\xe3o Paulo)", "33444555000122", State::Created, 10, 3),
            sample::Make("Delta Ind\xfastria; Filial", "44555666000133", State::Sent, 20),
            sample::Make("\xc9psilon Log\xedstica", "55666777000144", State::ReceivedAllSigned, 30, 4),
            sample::Make("Zeta Importa\xe7\xe3o", "66777888000111", State::ReceivedOneUnsigned, 40)};
}

// The names in the table's order, joined by "|".
QString Names(const EntityOverviewDialog& Overview)
{
    QStringList names;
    const QAbstractItemModel* model = Overview.Table->model();
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 1).data().toString().section(QLatin1Char(' '), 0, 0);
    return names.join(QLatin1Char('|'));
}

EntityOverviewDialog* OpenOverview(TForm1& Form)
{
    QApplication::setActiveWindow(&Form);
    QTest::keyClick(&Form, Qt::Key_G, Qt::ControlModifier);
    auto* overview = Form.findChild<EntityOverviewDialog*>();
    if (overview && !QTest::qWaitForWindowExposed(overview))
        return nullptr;
    return overview;
}

class OverviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp_.isValid());
        sample::Write(Dir(), Office());
    }
    std::string Dir() const { return tmp_.path().toStdString() + "/"; }

private:
    QTemporaryDir tmp_;
};

} // namespace

TEST_F(OverviewTest, OpenSortFilterAndChooseWithEnter)
{
    TForm1 form(Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(FindNamed<QAction>(form, "RequestOverview")->shortcut(), QKeySequence(QStringLiteral("Ctrl+G")));
    EXPECT_TRUE(FindNamed<QMenu>(form, "MenuRequest")->actions().contains(FindNamed<QAction>(form, "RequestOverview")));

    EntityOverviewDialog* overview = OpenOverview(form);
    ASSERT_NE(overview, nullptr);
    ASSERT_TRUE(overview->isVisible());
    EXPECT_EQ(overview->windowTitle(), U("Visão Geral das Entidades"));
    EXPECT_EQ(overview->LabelShown->text(), U("6 de 6 entidades"));
    // Sorted by name at first; the active entity is the current row.
    EXPECT_EQ(Names(*overview), U("Alfa|Beta|Delta|Épsilon|Gama|Zeta"));
    const QAbstractItemModel* model = overview->Table->model();
    EXPECT_EQ(model->index(overview->Table->currentIndex().row(), 1).data().toString(), U("Alfa Comércio Ltda"));
    // One row as the table shows it.
    const QModelIndex gama = model->match(model->index(0, 1), Qt::DisplayRole, U("Gama"), 1, Qt::MatchStartsWith)[0];
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column)
        cells << model->index(gama.row(), column).data().toString();
    EXPECT_EQ(cells.join(QLatin1Char('|')),
              U("33.444.555/0001-22|Gama (Filial São Paulo)|Certificados criados|0|3|Enviar a requisição"));

    // A click on a column title sorts by it, a second click the other way.
    QHeaderView* header = overview->Table->horizontalHeader();
    const auto clickTitle = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    clickTitle(2); // Situação: by the road, the name's order kept within
    EXPECT_EQ(Names(*overview), U("Alfa|Beta|Gama|Delta|Épsilon|Zeta"));
    clickTitle(2);
    EXPECT_EQ(Names(*overview), U("Épsilon|Zeta|Delta|Gama|Alfa|Beta"));
    clickTitle(4); // Não assinados: ties keep the order they had
    EXPECT_EQ(Names(*overview), U("Épsilon|Alfa|Beta|Zeta|Delta|Gama"));
    clickTitle(4);
    EXPECT_EQ(Names(*overview).section(QLatin1Char('|'), 0, 0), U("Gama"));

    // F1 asks for the window's help page.
    int helpAsked = 0;
    QObject::connect(overview->ButtonHelp, &QPushButton::clicked, [&] { ++helpAsked; });
    QTest::keyClick(overview->Table, Qt::Key_F1);
    EXPECT_EQ(helpAsked, 1);

    // Only the pending ones (Alt+P), then part of a name typed with its
    // accents left out: one row, and Enter chooses it.
    QTest::keyClick(overview, Qt::Key_P, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return overview->CheckPending->isChecked(); }));
    EXPECT_EQ(overview->LabelShown->text(), U("4 de 6 entidades"));
    // The row chosen (Alfa) is hidden now: the first row shown takes its
    // place, not the neighbour that moved up.
    EXPECT_EQ(Names(*overview), U("Gama|Delta|Zeta|Épsilon"));
    EXPECT_EQ(overview->Table->currentIndex().row(), 0);
    QTest::keyClick(overview, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(overview->EditFilter->hasFocus());
    QTest::keyClicks(overview->EditFilter, QStringLiteral("industria"));
    EXPECT_EQ(Names(*overview), U("Delta"));
    EXPECT_EQ(overview->LabelShown->text(), U("1 de 6 entidades"));
    QTest::keyClick(overview->EditFilter, Qt::Key_Return);

    EXPECT_FALSE(overview->isVisible());
    EXPECT_EQ(form.Session()->ActivePosition(), 4);
    EXPECT_EQ(form.windowTitle(), U("Cliente de Certificação Quorvex - Entidade Ativa: Delta Indústria; Filial"));
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->currentData().toInt(), 4);
    EXPECT_TRUE(FindNamed<QAction>(form, "RequestReceive")->isEnabled());

    // Opened again: the same window, its filter kept; a part of the
    // inscription finds the entity among the pending ones, and the arrow
    // leads from the filter field into the table.
    ASSERT_EQ(OpenOverview(form), overview);
    overview->EditFilter->setFocus();
    overview->EditFilter->selectAll();
    QTest::keyClicks(overview->EditFilter, QStringLiteral("66.777.8"));
    EXPECT_EQ(Names(*overview), U("Zeta"));
    QTest::keyClick(overview->EditFilter, Qt::Key_Down);
    EXPECT_TRUE(overview->Table->hasFocus());
    QTest::keyClick(overview->Table, Qt::Key_Return);
    EXPECT_EQ(form.Session()->ActivePosition(), 6);
    EXPECT_TRUE(FindNamed<QAction>(form, "FileDisk")->isEnabled());
}

TEST_F(OverviewTest, ADoubleClickChoosesAndTheWindowStaysOpenWhenAsked)
{
    TForm1 form(Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // Typed in the main window's search field: the chosen entity is shown in
    // the selector all the same.
    QTest::keyClicks(FindNamed<QLineEdit>(form, "EditEntitySearch"), QStringLiteral("alfa"));
    EntityOverviewDialog* overview = OpenOverview(form);
    ASSERT_NE(overview, nullptr);
    overview->CheckKeepOpen->setChecked(true);

    const QAbstractItemModel* model = overview->Table->model();
    const QModelIndex beta = model->match(model->index(0, 1), Qt::DisplayRole, U("Beta"), 1, Qt::MatchStartsWith)[0];
    const QRect cell = overview->Table->visualRect(beta);
    QTest::mouseClick(overview->Table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(overview->Table->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_TRUE(overview->isVisible());
    EXPECT_EQ(form.Session()->ActivePosition(), 2);
    EXPECT_EQ(FindNamed<QComboBox>(form, "cbxEntity")->currentData().toInt(), 2);
    EXPECT_TRUE(FindNamed<QLineEdit>(form, "EditEntitySearch")->text().isEmpty());

    // The main window removes an entity meanwhile: the overview takes its
    // rows again when it comes back to the front, and a choice still names
    // the entity shown, not the position it had.
    ASSERT_TRUE(form.Session()->Select(1));
    form.Session()->RemoveActive();
    for (QEvent::Type type : {QEvent::WindowDeactivate, QEvent::WindowActivate}) {
        QEvent change(type);
        QApplication::sendEvent(overview, &change);
    }
    EXPECT_EQ(overview->LabelShown->text(), U("5 de 5 entidades"));
    const QModelIndex zeta = model->match(model->index(0, 1), Qt::DisplayRole, U("Zeta"), 1, Qt::MatchStartsWith)[0];
    overview->Table->setCurrentIndex(zeta);
    overview->Choose();
    ASSERT_NE(form.Session()->ActiveEntity(), nullptr);
    EXPECT_EQ(form.Session()->ActiveEntity()->Razao, "Zeta Importa\xe7\xe3o");
}

TEST_F(OverviewTest, ExportWritesTheRowsShownAndAsksBeforeReplacing)
{
    TForm1 form(Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EntityOverviewDialog* overview = OpenOverview(form);
    ASSERT_NE(overview, nullptr);
    QTest::keyClicks(overview->EditFilter, QStringLiteral("filial"));
    ASSERT_EQ(Names(*overview), U("Delta|Gama"));

    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString chosen = out.path() + QStringLiteral("/lista"); // ".csv" is added
    const std::string written = out.path().toStdString() + "/lista.csv";
    QString notice, proposed;
    AnswerNextModal([&](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(files, nullptr);
        auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        proposed = name->text();
        name->setText(chosen);
        AnswerNextModal([&](QWidget* message) {
            notice = DialogText(message);
            ClickButton(message, QStringLiteral("OK"));
        });
        static_cast<QDialog*>(files)->accept();
    });
    QTest::keyClick(overview, Qt::Key_X, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !notice.isEmpty(); }));
    EXPECT_EQ(proposed, QStringLiteral("entidades.csv"));
    EXPECT_TRUE(notice.contains(U("A lista de 2 entidades foi gravada em ") + QString::fromStdString(written)))
        << notice.toStdString();
    const std::string first = sample::ReadFile(written);
    EXPECT_EQ(first, "\xEF\xBB\xBF"
                     "CNPJ/CEI;Razão Social;Situação;Assinados;Não assinados;Próxima tarefa\r\n"
                     "44.555.666/0001-33;\"Delta Indústria; Filial\";Requisição enviada;0;2;Receber a resposta\r\n"
                     "33.444.555/0001-22;Gama (Filial São Paulo);Certificados criados;0;3;Enviar a requisição\r\n");

    // Again over the same name: Enter, as a user answers by habit, keeps
    // the file there.
    overview->EditFilter->clear();
    bool asked = false;
    AnswerNextModal([&](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(files, nullptr);
        auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(written));
        AnswerNextModal([&](QWidget* question) {
            asked = DialogText(question).contains(U("já existe"));
            PressEnter(question);
        });
        static_cast<QDialog*>(files)->accept();
    });
    overview->ButtonExport->click();
    EXPECT_TRUE(asked);
    EXPECT_EQ(sample::ReadFile(written), first);
}

// The picture of the help page: the office's six entities, sorted by name.
TEST_F(OverviewTest, ScreenShowsEveryColumnWhole)
{
    TForm1 form(Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EntityOverviewDialog* overview = OpenOverview(form);
    ASSERT_NE(overview, nullptr);
    overview->move(0, 0);
    QTest::qWait(100);
    QHeaderView* header = overview->Table->horizontalHeader();
    const QAbstractItemModel* model = overview->Table->model();
    for (int column = 0; column < model->columnCount(); ++column) {
        const int need =
            overview->Table->fontMetrics().horizontalAdvance(model->headerData(column, Qt::Horizontal).toString());
        EXPECT_GE(header->sectionSize(column), need) << column;
        for (int row = 0; row < model->rowCount(); ++row) {
            const int width =
                overview->Table->fontMetrics().horizontalAdvance(model->index(row, column).data().toString());
            EXPECT_GE(header->sectionSize(column), width) << column << " " << row;
        }
    }
    const QByteArray outDir = qgetenv("QUORVEX_SCREENSHOT_DIR");
    if (outDir.isEmpty())
        return;
    QScreen* screen = overview->screen();
    ASSERT_NE(screen, nullptr);
    const QRect area = overview->frameGeometry();
    const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(outDir) + QStringLiteral("/overview.png")));
}

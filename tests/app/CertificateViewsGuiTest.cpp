// Certificate list views: items from the storage files, signed icons, and
// in-place renaming through the real editor.
#include "app/SampleData.h"
#include "app/TCustomItem.h"
#include "app/TCustomView.h"
#include "app/TForm1.h"
#include "app/steps/TEntitySession.h"
#include "app/TViews.h"
#include "store/AtomicFileWriter.h"
#include "store/StoreErrors.h"
#include "store/TRequestFile.h"
#include "support/FindNamed.h"
#include "support/ModalAnswerer.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using sample::State;
using namespace testsupport;

namespace {

struct Fixture {
    QTemporaryDir tmp;
    std::string Dir() const { return tmp.path().toStdString() + "/"; }
};

bool IsSignedIcon(TForm1& form, TCustomItem* item)
{
    return item->icon().pixmap(32, 32).toImage() == form.CertificateIcons()[1].pixmap(32, 32).toImage();
}

// Renames through the editor as a user does: start by the action, replace
// the text, Enter.
void RenameSelected(TForm1& form, const QString& text)
{
    FindNamed<QAction>(form, "FileRename")->trigger();
    QLineEdit* editor = form.ActiveEntityView()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    // keyClicks knows ASCII keys only; accented letters arrive as input text.
    editor->insert(text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
}

} // namespace

TEST(CertificateViews, EachEntityGetsItsItemsInOrderWithSignedIcons)
{
    Fixture f;
    sample::Write(f.Dir(), {sample::Make("Alfa", "11222333000181", State::ReceivedOneUnsigned, 1, 3),
                            sample::Make("Beta", "22333444000155", State::Created, 10, 2),
                            sample::Make("Gama", "33444555000122", State::Filled)});
    TForm1 form(f.Dir());
    ASSERT_EQ(form.EntityViews()->Count(), 3);
    // A list is made when its entity is first shown: only the active one at start.
    EXPECT_EQ(FindNamed<QWidget>(form, "panWork")->findChildren<TCustomView*>().size(), 1);
    TCustomView* alfa = form.EntityViews()->View(1);
    ASSERT_EQ(alfa->count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(alfa->Item(i)->text(), QStringLiteral("Certificado %1").arg(i + 1));
        EXPECT_EQ(alfa->Item(i)->Id, sample::Guid(i + 1));
        EXPECT_EQ(IsSignedIcon(form, alfa->Item(i)), i != 2);
    }
    EXPECT_EQ(form.EntityViews()->View(2)->count(), 2);
    EXPECT_EQ(form.EntityViews()->View(2)->Item(0)->Id, sample::Guid(10));
    EXPECT_FALSE(IsSignedIcon(form, form.EntityViews()->View(2)->Item(0)));
    EXPECT_EQ(form.EntityViews()->View(3)->count(), 0);
    EXPECT_EQ(form.EntityViews()->View(3)->toolTip(), QStringLiteral("Gama"));
    EXPECT_EQ(alfa->toolTip(), QStringLiteral("Alfa"));
    EXPECT_EQ(alfa->viewMode(), QListView::IconMode);
    EXPECT_EQ(alfa->iconSize(), QSize(32, 32));
}

TEST(CertificateViews, EmptyNameOrIdentifierGivesNoItemAndMarkSignedFindsAnyCase)
{
    Fixture f;
    sample::Write(f.Dir(), {sample::Make("Alfa", "11222333000181", State::Sent, 1, 2)});
    TForm1 form(f.Dir());
    ASSERT_EQ(form.ActiveEntityView()->count(), 2);
    EXPECT_EQ(form.AddCertificateItem("", "Sem id"), nullptr);
    EXPECT_EQ(form.AddCertificateItem(sample::Guid(5), ""), nullptr);
    EXPECT_EQ(form.ActiveEntityView()->count(), 2);

    form.MarkItemSigned("CERTIFICADO 2");
    EXPECT_FALSE(IsSignedIcon(form, form.ActiveEntityView()->Item(0)));
    EXPECT_TRUE(IsSignedIcon(form, form.ActiveEntityView()->Item(1)));
    form.MarkItemSigned("Certificado"); // whole caption only
    EXPECT_FALSE(IsSignedIcon(form, form.ActiveEntityView()->Item(0)));
}

TEST(CertificateViews, RenameReachesTheStorageFileAndSurvivesARestart)
{
    Fixture f;
    sample::Write(f.Dir(), {sample::Make("Alfa", "11222333000181", State::Created, 1, 2)});
    {
        TForm1 form(f.Dir());
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        // A name pasted over two lines is shown as it is kept: on one line.
        form.ActiveEntityView()->setCurrentRow(0);
        RenameSelected(form, QStringLiteral("Matriz\r\nCentro"));
        EXPECT_EQ(form.ActiveEntityView()->Item(0)->text(), QStringLiteral("Matriz Centro"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // that editor gone
        form.ActiveEntityView()->setCurrentRow(1);
        RenameSelected(form, QString::fromUtf8("Certificado da Filial São João"));
        EXPECT_EQ(form.ActiveEntityView()->Item(1)->text(), QString::fromUtf8("Certificado da Filial São João"));
        // On disk at once, in the program's single-byte character set.
        TRequestFile storage(f.Dir() + "STORAGE.1.DAT");
        EXPECT_EQ(storage.ReadString(sample::Guid(2), "Name", ""), "Certificado da Filial S\xE3o Jo\xE3o");
    }
    TForm1 again(f.Dir());
    ASSERT_EQ(again.ActiveEntityView()->count(), 2);
    EXPECT_EQ(again.ActiveEntityView()->Item(0)->text(), QStringLiteral("Matriz Centro"));
    EXPECT_EQ(again.ActiveEntityView()->Item(1)->text(), QString::fromUtf8("Certificado da Filial São João"));
}

TEST(CertificateViews, ClashingRenameIsRefusedWhateverTheCase)
{
    Fixture f;
    sample::Write(f.Dir(), {sample::Make("Alfa", "11222333000181", State::Created, 1, 2)});
    TForm1 form(f.Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const std::string before = sample::ReadFile(f.Dir() + "STORAGE.1.DAT");
    form.ActiveEntityView()->setCurrentRow(1);
    QString shown;
    AnswerNextModal([&](QWidget* dlg) {
        shown = DialogText(dlg);
        ClickButton(dlg, QStringLiteral("OK"));
    });
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    RenameSelected(form, QStringLiteral("cERTIFICADO 1"));
    EXPECT_TRUE(shown.contains(QString::fromUtf8("O nome do certificado eletrônico deve ser único.")))
        << shown.toStdString();
    EXPECT_EQ(form.ActiveEntityView()->Item(1)->text(), QStringLiteral("Certificado 2"));
    EXPECT_EQ(form.Session()->ActiveStorage()->ReadString(sample::Guid(2), "Name", ""), "Certificado 2");
    EXPECT_EQ(sample::ReadFile(f.Dir() + "STORAGE.1.DAT"), before);

    // The keyboard is back on the list: F2 edits the same item again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.focusWidget() == form.ActiveEntityView(); }, 2000))
        << "focus is on " << (form.focusWidget() ? form.focusWidget()->metaObject()->className() : "nothing");
    QTest::keyClick(form.focusWidget(), Qt::Key_F2);
    EXPECT_NE(form.ActiveEntityView()->viewport()->findChild<QLineEdit*>(), nullptr);
}

TEST(CertificateViews, ConfirmingAnUnchangedNameShowsNothing)
{
    Fixture f;
    sample::Write(f.Dir(), {sample::Make("Alfa", "11222333000181", State::Created, 1, 2)});
    TForm1 form(f.Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.ActiveEntityView()->setCurrentRow(0);
    bool asked = false;
    AnswerNextModal(
        [&](QWidget* dlg) {
            asked = true;
            dlg->close();
        },
        500);
    RenameSelected(form, QStringLiteral("Certificado 1"));
    QTest::qWait(600);
    EXPECT_FALSE(asked);
    EXPECT_EQ(form.ActiveEntityView()->Item(0)->text(), QStringLiteral("Certificado 1"));
}

TEST(CertificateViews, EmptyNameIsRefusedSoTheCertificateStaysListed)
{
    // An empty name would give no item at the next start: the certificate
    // would stay in the storage file with no icon to select it by.
    Fixture f;
    sample::Write(f.Dir(), {sample::Make("Alfa", "11222333000181", State::Created, 1, 2)});
    const std::string before = sample::ReadFile(f.Dir() + "STORAGE.1.DAT");
    {
        TForm1 form(f.Dir());
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.ActiveEntityView()->setCurrentRow(1);
        RenameSelected(form, QString());
        EXPECT_EQ(form.ActiveEntityView()->Item(1)->text(), QStringLiteral("Certificado 2"));
        EXPECT_EQ(form.Session()->ActiveStorage()->ReadString(sample::Guid(2), "Name", ""), "Certificado 2");
        EXPECT_EQ(sample::ReadFile(f.Dir() + "STORAGE.1.DAT"), before);
    }
    TForm1 again(f.Dir());
    ASSERT_EQ(again.ActiveEntityView()->count(), 2);
    EXPECT_EQ(again.ActiveEntityView()->Item(1)->text(), QStringLiteral("Certificado 2"));
}

TEST(CertificateViews, RenameWithoutSelectionDoesNothing)
{
    Fixture f;
    sample::Write(f.Dir(), {sample::Make("Alfa", "11222333000181", State::Created, 1, 2)});
    TForm1 form(f.Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.ActiveEntityView()->clearSelection();
    FindNamed<QAction>(form, "FileRename")->trigger();
    EXPECT_EQ(form.ActiveEntityView()->viewport()->findChild<QLineEdit*>(), nullptr);
}

namespace {
class RefusingWriter : public AtomicFileWriter {
public:
    void WriteFile(const std::string& FileName, std::string_view) override
    {
        throw EFCreateError(FileErrors::CannotCreateFile(FileName));
    }
};
} // namespace

TEST(CertificateViews, RenameThatCannotBeSavedIsReportedNotThrownIntoTheEditor)
{
    Fixture f;
    sample::Write(f.Dir(), {sample::Make("Alfa", "11222333000181", State::Created, 1, 2)});
    TForm1 form(f.Dir());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const std::string before = sample::ReadFile(f.Dir() + "STORAGE.1.DAT");
    form.Session()->ActiveStorage()->SetWriter(std::make_shared<RefusingWriter>());
    form.ActiveEntityView()->setCurrentRow(0);
    QString shown;
    AnswerNextModal([&](QWidget* dlg) {
        shown = DialogText(dlg);
        ClickButton(dlg, QStringLiteral("OK"));
    });
    RenameSelected(form, QStringLiteral("Outro nome"));
    EXPECT_TRUE(shown.contains(QStringLiteral("Cannot create file"))) << shown.toStdString();
    EXPECT_EQ(sample::ReadFile(f.Dir() + "STORAGE.1.DAT"), before);
    // The disk works again for the shutdown save.
    form.Session()->ActiveStorage()->SetWriter(nullptr);
}

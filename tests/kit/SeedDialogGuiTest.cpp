// The seed library loaded as the client loads it; its dialog is driven with
// real mouse movements on the offscreen platform.

// Mouse moves go through the window system layer, as a real mouse's do (the
// default for widgets only moves the cursor, which sends no move event on the
// offscreen platform).
#define QTEST_QPA_MOUSE_HANDLING
#include "kit/HlKit.h"

#include "support/ModalAnswerer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <dlfcn.h>

#include <algorithm>
#include <array>

namespace {

using Seed = std::array<unsigned char, HL_SEED_SIZE>;

class SeedDialogGuiTest : public ::testing::Test {
protected:
    void* module = nullptr;
    GetMouseSeed_t getMouseSeed = nullptr;

    void SetUp() override
    {
        module = dlopen(QUORVEX_APP_DIR HL_SEED_LIBRARY_NAME, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, module) << dlerror();
        getMouseSeed = reinterpret_cast<GetMouseSeed_t>(dlsym(module, "GetMouseSeed"));
        ASSERT_NE(nullptr, getMouseSeed);
    }
    void TearDown() override
    {
        if (module)
            dlclose(module);
    }
};

// Moves the mouse over the dialog's drawing area through `count` distinct
// positions, starting at `first`.
void MoveOver(QWidget* dialog, int first, int count)
{
    QWidget* area = dialog->findChild<QWidget*>("SeedArea");
    ASSERT_NE(nullptr, area);
    for (int i = first; i < first + count && dialog->isVisible(); ++i) {
        QTest::mouseMove(area, QPoint(5 + (i * 13) % 340, 5 + (i * 7) % 170));
        // Let each move be delivered before the next (queued moves are merged).
        QCoreApplication::processEvents();
    }
}

// A dialog that should have closed by itself is rejected, so that a failing
// test reports instead of waiting for a user.
void CloseIfStillOpen(QWidget* dialog)
{
    if (dialog->isVisible())
        static_cast<QDialog*>(dialog)->reject();
}

bool AllZero(const Seed& seed)
{
    return std::all_of(seed.begin(), seed.end(), [](unsigned char b) { return b == 0; });
}

TEST_F(SeedDialogGuiTest, MouseMovementsFillTheBarAndTheSeed)
{
    QWidget owner;
    owner.show();
    bool sawDialog = false;
    int afterTen = -1;
    int maximum = -1;
    QWidget* parent = nullptr;
    testsupport::AnswerNextModal([&](QWidget* dialog) {
        sawDialog = dialog->objectName() == "SeedDialog";
        parent = dialog->parentWidget();
        auto* bar = dialog->findChild<QProgressBar*>("SeedProgress");
        ASSERT_NE(nullptr, bar);
        maximum = bar->maximum();
        MoveOver(dialog, 0, 10);
        afterTen = bar->value();
        // The rest, and more than enough: the dialog closes itself when full.
        MoveOver(dialog, 10, maximum + 20);
        CloseIfStillOpen(dialog);
    });
    Seed seed;
    seed.fill(0);
    const int32_t result = getMouseSeed(0, &owner, seed.data());
    ASSERT_TRUE(sawDialog);
    EXPECT_EQ(&owner, parent);
    EXPECT_EQ(10, afterTen);
    EXPECT_GT(maximum, 10);
    EXPECT_GE(result, 1);
    EXPECT_FALSE(AllZero(seed));
    // The caller reads a seed whose first ten bytes are zero as cancelled.
    EXPECT_FALSE(std::all_of(seed.begin(), seed.begin() + 10, [](unsigned char b) { return b == 0; }));
}

TEST_F(SeedDialogGuiTest, CancelLeavesTheSeedZeroedAndReturnsOne)
{
    testsupport::AnswerNextModal([](QWidget* dialog) {
        MoveOver(dialog, 0, 30);
        testsupport::ClickButton(dialog, "Cancelar");
    });
    Seed seed;
    seed.fill(0xAB);
    EXPECT_EQ(1, getMouseSeed(0, nullptr, seed.data()));
    EXPECT_TRUE(AllZero(seed));

    // Closing the window counts as Cancel too.
    testsupport::AnswerNextModal([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    seed.fill(0xAB);
    EXPECT_EQ(1, getMouseSeed(0, nullptr, seed.data()));
    EXPECT_TRUE(AllZero(seed));
}

// Without a mouse: key presses fill the bar; held keys (auto-repeat) do not
// count, Enter and Space do not press Cancel, and Escape still cancels.
TEST_F(SeedDialogGuiTest, KeyPressesFillTheBarAndEscapeCancels)
{
    int afterRepeats = -1, afterFive = -1;
    testsupport::AnswerNextModal([&](QWidget* dialog) {
        auto* bar = dialog->findChild<QProgressBar*>("SeedProgress");
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : dialog;
        for (int i = 0; i < 20; ++i) {
            QKeyEvent held(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), true);
            QApplication::sendEvent(focus, &held);
        }
        QTest::keyClick(focus, Qt::Key_A);
        afterRepeats = bar->value();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Enter, Qt::Key_B})
            QTest::keyClick(focus, key);
        afterFive = bar->value();
        for (int i = 0; dialog->isVisible() && i < bar->maximum() + 5; ++i)
            QTest::keyClick(focus, Qt::Key(Qt::Key_A + i % 26));
        CloseIfStillOpen(dialog);
    });
    Seed seed{};
    EXPECT_GE(getMouseSeed(0, nullptr, seed.data()), 1);
    EXPECT_EQ(afterRepeats, 1);
    EXPECT_EQ(afterFive, 5);
    EXPECT_FALSE(AllZero(seed));

    testsupport::AnswerNextModal([](QWidget* dialog) {
        QTest::keyClick(dialog, Qt::Key_X);
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dialog, Qt::Key_Escape);
    });
    seed.fill(0xAB);
    EXPECT_EQ(1, getMouseSeed(0, nullptr, seed.data()));
    EXPECT_TRUE(AllZero(seed));
}

TEST_F(SeedDialogGuiTest, StandingStillDoesNotFillTheBar)
{
    int value = -1;
    testsupport::AnswerNextModal([&](QWidget* dialog) {
        QWidget* area = dialog->findChild<QWidget*>("SeedArea");
        for (int i = 0; i < 300; ++i) {
            QTest::mouseMove(area, QPoint(40, 40));
            QCoreApplication::processEvents();
        }
        value = dialog->findChild<QProgressBar*>("SeedProgress")->value();
        testsupport::ClickButton(dialog, "CancelButton");
    });
    Seed seed{};
    EXPECT_EQ(1, getMouseSeed(0, nullptr, seed.data()));
    EXPECT_EQ(1, value);
}

TEST_F(SeedDialogGuiTest, IdenticalMovementsStillGiveDifferentSeeds)
{
    Seed first{}, second{};
    for (Seed* seed : {&first, &second}) {
        testsupport::AnswerNextModal([](QWidget* dialog) {
            MoveOver(dialog, 0, 400);
            CloseIfStillOpen(dialog);
        });
        ASSERT_GE(getMouseSeed(0, nullptr, seed->data()), 1);
    }
    EXPECT_NE(first, second);
}

// The dialog on the screen part filled, as a user sees it while moving the
// mouse: the prompt fits its label, the button's caption is whole and
// everything lies inside the dialog. With QUORVEX_SCREENSHOT_DIR set
// (scripts/screenshot-dialogs runs this under a virtual X screen) a PNG of it
// is saved there.
TEST_F(SeedDialogGuiTest, ScreenShowsThePromptAndTheButtonWhole)
{
    QWidget owner;
    owner.setGeometry(40, 40, 600, 460);
    owner.show();
    const QByteArray outDir = qgetenv("QUORVEX_SCREENSHOT_DIR");
    testsupport::AnswerNextModal([&](QWidget* dialog) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        MoveOver(dialog, 0, 60);
        auto* prompt = dialog->findChild<QLabel*>("SeedPrompt");
        auto* cancel = dialog->findChild<QPushButton*>("CancelButton");
        EXPECT_TRUE(prompt && cancel);
        if (prompt && cancel) {
            EXPECT_EQ(prompt->text(),
                      QString::fromUtf8("Movimente o mouse sobre esta janela (ou pressione teclas variadas) até que a "
                                        "barra fique completa. Os movimentos do mouse e as teclas são usados na "
                                        "geração das chaves do certificado eletrônico."));
            EXPECT_GE(prompt->height(), prompt->heightForWidth(prompt->width()));
            EXPECT_GE(cancel->width(), cancel->sizeHint().width());
        }
        for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(dialog->rect().contains(w->geometry())) << w->objectName().toStdString();
        EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Geração de chaves"));
        if (!outDir.isEmpty()) {
            QTest::qWait(100);
            const QRect area = dialog->frameGeometry();
            const QPixmap shot = dialog->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            EXPECT_FALSE(shot.isNull());
            EXPECT_TRUE(shot.save(QString::fromLocal8Bit(outDir) + "/seed-dialog.png"));
        }
        static_cast<QDialog*>(dialog)->reject();
    });
    Seed seed{};
    EXPECT_EQ(1, getMouseSeed(0, &owner, seed.data()));
}

TEST_F(SeedDialogGuiTest, NullSeedIsRefusedWithoutADialog)
{
    EXPECT_EQ(0, getMouseSeed(0, nullptr, nullptr));
    EXPECT_EQ(nullptr, QApplication::activeModalWidget());
}

} // namespace

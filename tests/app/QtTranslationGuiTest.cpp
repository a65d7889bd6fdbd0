// Qt's own dialogs speak Portuguese once the application has loaded Qt's
// translation.
#include "app/QuorvexApplication.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>

#include <gtest/gtest.h>

TEST(QtTranslation, QtsOwnButtonsAndFileDialogTextsArePortuguese)
{
    ASSERT_TRUE(QuorvexApplication::LoadQtTranslation(*QCoreApplication::instance()))
        << "qtbase_pt_BR is missing (Debian package qt6-translations-l10n)";
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Procurar em:"));
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Cancelar"));
    EXPECT_EQ(box.button(QDialogButtonBox::Save)->text().remove(QLatin1Char('&')), QStringLiteral("Salvar"));
}

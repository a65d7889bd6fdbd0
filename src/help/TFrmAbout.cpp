#include "help/TFrmAbout.h"
#include "ui/KeyboardRules.h"

#include "Version.h"
#include "base/Texts.h"
#include "ui/Text1252.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

TFrmAbout::TFrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(Tr(Texts::AboutCaption) + Tr(Texts::AppTitle));

    LabelApp = new QLabel(Tr(Texts::AppTitle), this);
    LabelApp->setObjectName(QStringLiteral("LabelApp"));
    QFont big = LabelApp->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    LabelApp->setFont(big);
    LabelSystem = new QLabel(Tr(Texts::ServiceName), this);
    LabelSystem->setObjectName(QStringLiteral("LabelSystem"));
    LabelVersion = new QLabel(Tr(Texts::VersionPrefix) + FileVersion(QStringLiteral(QUORVEX_VERSION)), this);
    LabelVersion->setObjectName(QStringLiteral("LabelVersion"));
    LabelCopyright = new QLabel(Tr(Texts::AboutCopyright), this);
    LabelCopyright->setObjectName(QStringLiteral("LabelCopyright"));
    LabelMsg = new QLabel(QString(), this);
    LabelMsg->setObjectName(QStringLiteral("LabelMsg"));
    ButtonOK = new QPushButton(Tr(Texts::BtnOK), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    for (QLabel* label : {LabelApp, LabelSystem, LabelVersion, LabelCopyright, LabelMsg})
        layout->addWidget(label);
    layout->addSpacing(8);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ButtonOK);
    layout->addLayout(row);
    setFixedSize(sizeHint().expandedTo(QSize(340, 0)));
    KeyboardRules::AddFreeLetters(this);
    KeyboardRules::SetHelpTopic(this, QStringLiteral("index.htm"));
}

QString TFrmAbout::FileVersion(const QString& Compiled)
{
    // The project keeps three numbers (major.minor.release); the build number
    // is 0 unless a fourth one is given.
    QStringList parts = Compiled.split(QLatin1Char('.'));
    if (parts.isEmpty() || parts.size() > 4)
        return {};
    while (parts.size() < 4)
        parts << QStringLiteral("0");
    QStringList numbers;
    for (const QString& p : parts) {
        bool ok = false;
        const uint n = p.toUInt(&ok);
        if (!ok || n > 0xFFFF)
            return {};
        numbers << QString::number(n);
    }
    return numbers.join(QLatin1Char('.'));
}

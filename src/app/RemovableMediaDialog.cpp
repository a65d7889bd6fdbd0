#include "app/RemovableMediaDialog.h"
#include "ui/KeyboardRules.h"

#include "app/RemovableMedia.h"
#include "base/DriveAGuard.h"
#include "base/ProgramPaths.h"
#include "base/Texts.h"
#include "ui/MessageBox.h"
#include "ui/Text1252.h"
#include "ui/PortugueseFileColumns.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdlib>

QString RemovableMediaDialog::SystemMountsTable = QStringLiteral("/proc/self/mounts");

RemovableMediaDialog::RemovableMediaDialog(const ProgramPaths& Paths, QWidget* Parent, const QString& MountsTable)
    : QDialog(Parent), Paths_(Paths)
{
    setObjectName(QStringLiteral("RemovableMediaDialog"));
    setWindowTitle(Tr(Texts::MediaCaption));
    Chosen_ = QString::fromStdString(Paths.ChosenDriveA());
    while (Chosen_.size() > 1 && Chosen_.endsWith(QLatin1Char('/')))
        Chosen_.chop(1);
    DefaultFolder_ = QString::fromStdString(Paths.DataDir()) + QStringLiteral("A");

    auto* layout = new QVBoxLayout(this);
    auto* explanation = new QLabel(Tr(Texts::MediaExplanation), this);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    const char* fixed = std::getenv("QUORVEX_DRIVE_A");
    const bool isFixed = fixed && *fixed;

    auto* mountedLabel = new QLabel(Tr(Texts::MediaMounted), this);
    layout->addWidget(mountedLabel);
    Volumes = new QListWidget(this);
    mountedLabel->setBuddy(Volumes);
    Volumes->setAccessibleName(mountedLabel->text().remove(QLatin1Char('&')));
    Volumes->setObjectName(QStringLiteral("Volumes"));
    const QStringList mounted = RemovableMedia::MountedVolumes(MountsTable.isEmpty() ? SystemMountsTable : MountsTable);
    for (const QString& volume : mounted)
        Volumes->addItem(volume);
    if (mounted.isEmpty()) {
        auto* none = new QListWidgetItem(Tr(Texts::MediaNoneMounted), Volumes);
        none->setFlags(Qt::NoItemFlags);
    }
    layout->addWidget(Volumes);
    connect(Volumes, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item->flags() & Qt::ItemIsEnabled) {
            Chosen_ = item->text();
            ShowCurrent();
        }
    });

    Current = new QLabel(this);
    Current->setObjectName(QStringLiteral("Current"));
    Current->setWordWrap(true);
    Current->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Current);

    auto* choices = new QHBoxLayout;
    auto* other = new QPushButton(Tr(Texts::MediaOther), this);
    other->setObjectName(QStringLiteral("Other"));
    auto* standard = new QPushButton(Tr(Texts::MediaDefault), this);
    standard->setObjectName(QStringLiteral("Default"));
    choices->addWidget(other);
    choices->addWidget(standard);
    choices->addStretch();
    layout->addLayout(choices);
    connect(other, &QPushButton::clicked, this, [this] {
        QFileDialog dialog(this, Tr(Texts::MediaChooseFolder), Chosen_.isEmpty() ? QStringLiteral("/media") : Chosen_);
        dialog.setObjectName(QStringLiteral("ChooseFolder"));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        UsePortugueseColumns(&dialog);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            Chosen_ = dialog.selectedFiles().first();
            ShowCurrent();
        }
    });
    connect(standard, &QPushButton::clicked, this, [this] {
        Chosen_.clear();
        ShowCurrent();
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Tr(Texts::ReqOK));
    buttons->button(QDialogButtonBox::Cancel)->setText(Tr(Texts::ReqCancel));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    // A folder chosen by keyboard (Enter on a listed medium, or the folder
    // dialog) is accepted with the next Enter.
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setDefault(true);
    connect(Volumes, &QListWidget::itemActivated, this, [this, ok](QListWidgetItem* item) {
        if (item->flags() & Qt::ItemIsEnabled) {
            Chosen_ = item->text();
            ShowCurrent();
            ok->setFocus();
        }
    });
    connect(other, &QPushButton::clicked, ok, [ok] { ok->setFocus(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    if (isFixed) {
        // Set for the whole computer: shown, not changed here.
        Chosen_ = QString::fromLocal8Bit(fixed);
        explanation->setText(Tr(Texts::MediaFixed));
        Volumes->setEnabled(false);
        other->setEnabled(false);
        standard->setEnabled(false);
        buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    }
    ShowCurrent();
    resize(460, 340);
    KeyboardRules::SetHelpTopic(this, QStringLiteral("media.htm"));
}

void RemovableMediaDialog::ShowCurrent()
{
    Current->setText(Tr(Texts::MediaCurrent) + (Chosen_.isEmpty() ? DefaultFolder_ : Chosen_));
}

void RemovableMediaDialog::accept()
{
    const QString folder = Chosen_.isEmpty() ? DefaultFolder_ : Chosen_;
    const std::string refusal = DriveAGuard::Refusal(Paths_, QFile::encodeName(folder).toStdString());
    if (!refusal.empty()) {
        ShowMessage(QString::fromUtf8(refusal.c_str()), this);
        return;
    }
    QDialog::accept();
}

bool RemovableMediaDialog::Choose(QWidget* Parent, ProgramPaths& Paths)
{
    RemovableMediaDialog dialog(Paths, Parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    RemovableMedia::Remember(dialog.Chosen());
    Paths.SetChosenDriveA(dialog.Chosen().toStdString());
    return true;
}

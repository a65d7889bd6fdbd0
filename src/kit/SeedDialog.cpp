#include "kit/SeedDialog.h"

#include "base/Texts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kit {

SeedDialog::SeedDialog(QWidget* owner) : QDialog(owner)
{
    setObjectName("SeedDialog");
    setWindowTitle(QString::fromUtf8(Texts::SeedDialogTitle));
    setModal(true);

    prompt_ = new QLabel(QString::fromUtf8(Texts::SeedDialogPrompt), this);
    prompt_->setObjectName("SeedPrompt");
    prompt_->setWordWrap(true);

    area_ = new QWidget(this);
    area_->setObjectName("SeedArea");
    area_->setMinimumSize(360, 180);
    area_->setAutoFillBackground(true);
    area_->setPalette(QPalette(Qt::white));

    progress_ = new QProgressBar(this);
    progress_->setObjectName("SeedProgress");
    progress_->setRange(0, kMovementsNeeded);
    progress_->setValue(0);

    cancel_ = new QPushButton(QString::fromUtf8(Texts::SeedDialogCancel), this);
    cancel_->setObjectName("CancelButton");
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addWidget(area_, 1);
    layout->addWidget(progress_);
    layout->addLayout(buttons);

    // Movements count anywhere over the dialog, buttons included, without a
    // button pressed: every child reports moves to the dialog.
    setMouseTracking(true);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setMouseTracking(true);
        child->installEventFilter(this);
    }
}

void SeedDialog::Movement(QWidget* receiver, QMouseEvent* event)
{
    if (progress_->value() >= kMovementsNeeded)
        return;
    // In the dialog's own coordinates, whichever child saw the move.
    const QPoint local = event->position().toPoint();
    const QPoint at = receiver == this ? local : receiver->mapTo(this, local);
    pool_.AddMovement(at.x(), at.y(), event->timestamp());
    progress_->setValue(std::min(pool_.Movements(), kMovementsNeeded));
    if (pool_.Movements() >= kMovementsNeeded)
        accept();
}

bool SeedDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && watched->isWidgetType())
        Movement(static_cast<QWidget*>(watched), static_cast<QMouseEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

void SeedDialog::mouseMoveEvent(QMouseEvent* event)
{
    Movement(this, event);
    QDialog::mouseMoveEvent(event);
}

void SeedDialog::TakeSeed(std::uint8_t* seed)
{
    pool_.Finish(seed);
}

} // namespace kit

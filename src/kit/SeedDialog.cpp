#include "kit/SeedDialog.h"

#include "base/Texts.h"

#include <QHBoxLayout>
#include <QKeyEvent>
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
    // F1 here opens the page on creating a certificate: the program's
    // keyboard rules read this property (the kit links none of its code).
    setProperty("quorvexHelpTopic", QStringLiteral("certificate.htm"));

    prompt_ = new QLabel(QString::fromUtf8(Texts::SeedDialogPrompt), this);
    prompt_->setObjectName("SeedPrompt");
    prompt_->setWordWrap(true);

    area_ = new QWidget(this);
    area_->setObjectName("SeedArea");
    area_->setMinimumSize(360, 180);
    area_->setAutoFillBackground(true);
    area_->setPalette(QPalette(Qt::white));
    area_->setAccessibleName(QString::fromUtf8(Texts::AccSeedArea));
    area_->setAccessibleDescription(QString::fromUtf8(Texts::AccSeedAreaDescription));

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

bool SeedDialog::KeyStroke(QKeyEvent* event)
{
    // Escape still cancels; any other key is a seed event, so that the bar can
    // be filled without a mouse (and Enter or Space never press Cancel).
    if (event->key() == Qt::Key_Escape)
        return false;
    // Holding a key down repeats it at a fixed rate: only real presses count.
    if (event->isAutoRepeat() || progress_->value() >= kMovementsNeeded)
        return true;
    // Each press is an event of its own (the pool counts only a change), told
    // apart from mouse positions by a negative second coordinate.
    pool_.AddMovement(event->key(), -1 - keyStrokes_++, event->timestamp());
    progress_->setValue(std::min(pool_.Movements(), kMovementsNeeded));
    if (pool_.Movements() >= kMovementsNeeded)
        accept();
    return true;
}

bool SeedDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && watched->isWidgetType())
        Movement(static_cast<QWidget*>(watched), static_cast<QMouseEvent*>(event));
    if (event->type() == QEvent::KeyPress && KeyStroke(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void SeedDialog::keyPressEvent(QKeyEvent* event)
{
    if (!KeyStroke(event))
        QDialog::keyPressEvent(event);
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

// The seed library's exported function. It runs the seed dialog modally on
// the caller's (user-interface) thread; nothing escapes it but a code.
#include "kit/HlKit.h"

#include "kit/SeedDialog.h"

#include <QApplication>
#include <QPointer>
#include <QThread>

#include <cstring>

extern "C" HL_KIT_API int32_t GetMouseSeed(int32_t reserved, void* owner, void* seed)
{
    (void)reserved;
    if (seed == nullptr)
        return HL_SEED_ERROR;
    // The seed reads as "not gathered" (zeros) unless the dialog completes.
    std::memset(seed, 0, HL_SEED_SIZE);
    try {
        auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
        if (app == nullptr || QThread::currentThread() != app->thread())
            return HL_SEED_ERROR;
        // The dialog may be destroyed from inside its own loop (when its owner
        // goes away), hence the guarded pointer.
        QPointer<kit::SeedDialog> dialog = new kit::SeedDialog(static_cast<QWidget*>(owner));
        struct Release {
            QPointer<kit::SeedDialog>& dialog;
            ~Release() { delete dialog.data(); }
        } release{dialog};
        const int result = dialog->exec();
        if (dialog.isNull() || result != QDialog::Accepted)
            return HL_SEED_CANCELLED;
        dialog->TakeSeed(static_cast<std::uint8_t*>(seed));
        return HL_SEED_FILLED;
    } catch (...) {
        std::memset(seed, 0, HL_SEED_SIZE);
        return HL_SEED_ERROR;
    }
}

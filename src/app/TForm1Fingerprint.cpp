// The shutdown stamp: every storage file gets a fresh [Fingerprint] Value.
#include "app/TForm1.h"

#include "crypto/FingerprintStamp.h"
#include "app/steps/TEntitySession.h"

void TForm1::StampFingerprints()
{
    if (session_)
        ::StampFingerprints(session_->Registry());
}

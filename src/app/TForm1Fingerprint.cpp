// The shutdown stamp: every storage file gets a fresh [Fingerprint] Value.
#include "app/TForm1.h"

#include "crypto/FingerprintStamp.h"
#include "store/TUsersData.h"

void TForm1::StampFingerprints()
{
    if (Registry)
        ::StampFingerprints(*Registry);
}

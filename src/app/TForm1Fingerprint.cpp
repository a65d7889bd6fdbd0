// The shutdown stamp: every storage file gets a fresh [Fingerprint] Value.
#include "app/TForm1.h"

void TForm1::StampFingerprints()
{
}

// The backup and restore menu action.
#include "app/TForm1.h"

void TForm1::FileBackupExecute()
{
}

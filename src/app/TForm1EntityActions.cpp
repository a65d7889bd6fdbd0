// The entity actions of the main window: register, fill in and remove an
// entity.
#include "app/TForm1.h"

void TForm1::RequestAddExecute()
{
}

void TForm1::RequestFillExecute()
{
}

void TForm1::RequestRemoveExecute()
{
}

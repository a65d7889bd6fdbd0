// Receiving the authority's response: the window's dialogs answer the step,
// the step does the data work, and the window shows the result (the signed
// icons, the actions the new state allows, the next task).
#include "app/TForm1.h"

#include "app/steps/TRequestReceiving.h"
#include "app/steps/TStepContext.h"

void TForm1::RequestReceiveExecute()
{
    RunStep([](TStepContext& context) { TRequestReceiving(context).RequestReceive(); });
}

// Receiving the authority's response: the window's dialogs answer the step,
// the step does the data work, and the window shows the result (the signed
// icons, the actions the new state allows, the next task).
#include "app/TForm1.h"

#include "app/TForm1Questions.h"
#include "app/steps/TRequestReceiving.h"
#include "app/steps/TStepContext.h"
#include "app/steps/TEntitySession.h"

void TForm1::RequestReceiveExecute()
{
    if (!HaveActiveEntity())
        return;
    TForm1Questions ask(*this);
    TStepContext context(*session_, Paths, ask, *Kit);
    TRequestReceiving(context).RequestReceive();
    AfterStep();
}

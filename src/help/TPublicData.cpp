#include "help/TPublicData.h"

#include "help/THelp.h"

namespace {
TPublicData* instance = nullptr;
}

TPublicData::TPublicData(const std::string& ProgramFolder, QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("PublicData"));
    HelpWin = new THelp(this);
    HelpWin->setObjectName(QStringLiteral("HelpWin"));
    HelpWin->SetFileName(ProgramFolder + "HELP.DAT");
    HelpWin->SetContents(QStringLiteral("index.htm"));
    instance = this;
}

TPublicData::~TPublicData()
{
    if (instance == this)
        instance = nullptr;
}

TPublicData* TPublicData::Instance()
{
    return instance;
}

void ShowHelpTopic(const QString& Topic)
{
    if (TPublicData* data = TPublicData::Instance()) {
        data->HelpWin->SetCurrentTopic(Topic);
        data->HelpWin->Show();
    }
}

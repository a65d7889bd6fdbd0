#include "help/TPublicData.h"

#include "help/THelp.h"

TPublicData::TPublicData(const std::string& ProgramFolder, QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("PublicData"));
    HelpWin = new THelp(this);
    HelpWin->setObjectName(QStringLiteral("HelpWin"));
    HelpWin->SetFileName(ProgramFolder + "HELP.DAT");
    HelpWin->SetContents(QStringLiteral("index.htm"));
}

TPublicData::~TPublicData() = default;

void TPublicData::ShowTopic(const QString& Topic)
{
    HelpWin->SetCurrentTopic(Topic);
    HelpWin->Show();
}

void TPublicData::ShowContents()
{
    ShowTopic(HelpWin->Contents());
}

#pragma once
// The program's data module: holds the help viewer that every window uses.
// Made at start, before the main window, which hands it to every window it
// opens, and kept to the end.
#include "help/HelpService.h"

#include <QObject>
#include <QString>

#include <string>

class THelp;

class TPublicData : public QObject, public HelpService {
    Q_OBJECT
public:
    // ProgramFolder: the folder of the program's read-only files, ending in
    // '/'; the help archive HELP.DAT lies there.
    explicit TPublicData(const std::string& ProgramFolder, QObject* parent = nullptr);
    ~TPublicData() override;

    THelp* HelpWin = nullptr;

    // Sets the viewer's CurrentTopic, then shows it.
    void ShowTopic(const QString& Topic) override;
    void ShowContents() override;
};

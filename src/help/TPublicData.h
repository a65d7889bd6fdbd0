#pragma once
// The program's data module: holds the help viewer that every window uses.
// Made at start, right after the main window, and kept to the end.
#include <QObject>
#include <QString>

#include <string>

class THelp;

class TPublicData : public QObject {
    Q_OBJECT
public:
    // ProgramFolder: the folder of the program's read-only files, ending in
    // '/'; the help archive HELP.DAT lies there.
    explicit TPublicData(const std::string& ProgramFolder, QObject* parent = nullptr);
    ~TPublicData() override;

    THelp* HelpWin = nullptr;

    // The data module of the running program; null before it is made and
    // after it is gone (tests of single windows, tools).
    static TPublicData* Instance();
};

// Opens the program's help viewer at Topic: sets its CurrentTopic, then shows
// it. Does nothing when the program has no data module.
void ShowHelpTopic(const QString& Topic);

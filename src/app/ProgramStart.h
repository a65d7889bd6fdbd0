#pragma once
// The program's start and end: title, main window, message loop, and the
// restart through reinit after a restore.
#include <QtGlobal>

#include <functional>
#include <string>

class TForm1;

// Runs the whole program; returns its exit code. OnShown, when given, runs
// once the main window is shown (programs that drive the client use it).
int ProgramStart(int argc, char** argv, const std::function<void(TForm1&)>& OnShown = {});

// Starts reinit from ProgramDir, telling it to wait for process ClientPid to end
// and then to start Client again. False when it could not be started.
bool StartReinit(const std::string& ProgramDir, qint64 ClientPid, const std::string& Client);

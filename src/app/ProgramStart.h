#pragma once
// The program's start and end: title, main window, message loop, and the
// restart through reinit after a restore.
#include <QtGlobal>

#include <string>

// Runs the whole program; returns its exit code.
int ProgramStart(int argc, char** argv);

// Starts reinit from AppDir, telling it to wait for process ClientPid to end
// and then to start Client again. False when it could not be started.
bool StartReinit(const std::string& AppDir, qint64 ClientPid, const std::string& Client);

#pragma once
// The program's start and end: title, main window, message loop, and the
// restart through reinit after a restore.
#include <QtGlobal>

#include <functional>
#include <string>

class InstanceLock;
class ProgramPaths;
class TForm1;

// Runs the whole program; returns its exit code. OnShown, when given, runs
// once the main window is shown (programs that drive the client use it).
int ProgramStart(int argc, char** argv, const std::function<void(TForm1&)>& OnShown = {});

// Starts reinit from ProgramDir, telling it to wait for process ClientPid to end
// (and, when DataDir is given, for the data folder's lock to be free) and
// then to start Client again. False when it could not be started.
bool StartReinit(const std::string& ProgramDir, qint64 ClientPid, const std::string& Client,
                 const std::string& DataDir = {});

// Takes the data folder for this client. When another client holds it, says
// so in a message box and returns false: the caller ends without writing
// anything. A folder where no lock can be made is used as before.
bool ClaimDataFolder(const ProgramPaths& Paths, InstanceLock& Lock);

// Finishes what a crash cut short in the data folder (a restore, saves,
// steps: see RecoverDataFolder). When a restore cannot be finished, says so
// in a message box and returns false: the caller ends without opening the
// folder, which may mix old and new data files.
bool PrepareDataFolder(const ProgramPaths& Paths);

// Tells the user once which data files were found damaged at start and where
// their originals were set aside, and how many entities of a registry too
// large to open whole were left out.
void ReportDamagedFiles(TForm1& Form);

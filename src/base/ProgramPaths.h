#pragma once
// Where the program finds its files. Made once at start and handed down;
// tests make their own with temporary folders.
//
//   data folder     ENTITY.DAT, STORAGE.<n>.DAT, the term XML and HTML, and
//                   every temporary file of a step (key files, restores);
//   program folder  the executable and its read-only companions: the kit's
//                   libraries, reinit, HELP.DAT, the agreement text and the
//                   term's stylesheet;
//   drive A         the folder that stands for the removable medium.
//
// Every folder is kept with a trailing '/'.
#include <string>

class ProgramPaths {
public:
    ProgramPaths() = default;
    // DataFolder and ProgramFolder may be the same (a portable copy).
    // DriveAFolder empty: the rule of DriveA() below.
    ProgramPaths(std::string DataFolder, std::string ProgramFolder, std::string DriveAFolder = {});

    // The paths of a program whose executable lies in ExecutableFolder: the
    // data live beside it when that folder is writable (a build tree or an
    // unpacked copy) and is not an installed one (InstalledMarker beside the
    // executable), else in the user's data folder ($XDG_DATA_HOME/quorvex,
    // else ~/.local/share/quorvex), which is made when missing.
    static ProgramPaths ForExecutableFolder(const std::string& ExecutableFolder);

    // The folder of the running executable (links resolved), with a
    // trailing '/'; "./" when the system does not tell.
    static std::string ExecutableFolder();

    static constexpr const char* InstalledMarker = "quorvex.installed";

    const std::string& DataDir() const { return DataDir_; }
    const std::string& ProgramDir() const { return ProgramDir_; }

    // The removable medium: the folder named by QUORVEX_DRIVE_A when set,
    // else the folder chosen by the user (SetChosenDriveA), else "A" in the
    // data folder. Read anew on each call: the medium may change in a run.
    std::string DriveA() const;
    void SetChosenDriveA(std::string Folder);
    const std::string& ChosenDriveA() const { return ChosenDriveA_; }

    std::string DataFile(const std::string& Name) const { return DataDir_ + Name; }
    std::string ProgramFile(const std::string& Name) const { return ProgramDir_ + Name; }

    // Appends '/' unless the text is empty or already ends with one.
    static std::string WithSlash(std::string Folder);

private:
    std::string DataDir_;
    std::string ProgramDir_;
    std::string DriveAOverride_;
    std::string ChosenDriveA_;
};

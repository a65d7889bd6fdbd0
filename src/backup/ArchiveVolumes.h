#pragma once
// The volume set of an archive: volume 1 is the archive file itself, volume
// n replaces its extension with "." and three digits (copia.bkp, copia.002,
// ...). Makes the next volume when writing, finds it when reading, flushes
// each finished volume onto its medium, and asks for the next disk.
//
// Reading follows the volumes strictly in order: a continuation record must
// name the current volume plus one, and a file already read (under any name)
// is never read again, so a set of volumes always comes to an end.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class ArchiveVolumes {
public:
    ArchiveVolumes();
    ~ArchiveVolumes();
    ArchiveVolumes(const ArchiveVolumes&) = delete;
    ArchiveVolumes& operator=(const ArchiveVolumes&) = delete;

    // "copia.bkp", 2 -> "copia.002"
    static std::string VolumeName(const std::string& Archive, int Volume);
    // The question shown when nobody answers it otherwise.
    static std::string DiskQuestion(int Volume);

    // Who answers the question for the next disk: NeedDisk when set (its
    // result: go on), else AskOkCancel with the question's text. With
    // neither, the answer is yes.
    std::function<bool(int Volume)> NeedDisk;
    std::function<bool(const std::string& Text)> AskOkCancel;
    bool AskForDisk(int Volume) const;
    bool CanAsk() const { return static_cast<bool>(NeedDisk) || static_cast<bool>(AskOkCancel); }

    // ---- writing ----------------------------------------------------------
    // Each volume is written under a temporary name beside its own and takes
    // its name only on Commit: a backup that fails or is cancelled leaves
    // the previous archive as it was. Volumes not yet committed are removed
    // by Close (and by the destructor).
    //
    // The stream of a new volume file, written through Fd (the descriptor
    // stays the volumes': it is flushed and closed after the stream is gone).
    static std::unique_ptr<std::ostream> CreateFile(const std::string& Path, int Fd);
    // Makes the stream of a volume (CreateFile unless replaced); a test may
    // give a stream that fails. Path is the volume's temporary name, Fd the
    // new file, open for writing, created for its owner alone.
    std::function<std::unique_ptr<std::ostream>(const std::string& Path, int Fd)> MakeFile;
    // Volume 1: the archive file, or the caller's stream (no further volumes).
    bool CreateFirst(const std::string& Archive, std::ostream* CallerStream);
    std::ostream* Out() const { return out_; }
    // Flushes the current volume and, for a file, forces it onto its medium
    // and closes it. False when any of its bytes may be lost.
    bool FinishVolume();
    // After FinishVolume: makes the next volume's file.
    bool CreateNext();
    // Gives every finished volume its own name (replacing an older file of
    // that name) and forces the names onto the medium. Done once the whole
    // backup succeeded, or for each medium before the user takes it out.
    bool Commit();

    // ---- reading ----------------------------------------------------------
    // False when the archive cannot be opened.
    bool OpenFirst(const std::string& Archive, std::istream* CallerStream);
    std::istream* In() const { return in_; }
    enum class NextResult {
        Opened,  // In() reads the next volume
        Stopped, // the question was answered "no"
        Missing, // not there, and nobody to ask for it
        Refused, // a number out of order, or a file already read
        Failed,  // there but cannot be opened
    };
    // The volume a continuation record announced.
    NextResult OpenNext(int Announced);
    // The volume that was not found (0: none).
    int MissingVolume() const { return missing_; }

    int Number() const { return number_; }
    bool IsStream() const { return stream_; }
    void Close();

private:
    class File;
    struct Written {
        std::string Temporary;
        std::string Final;
    };
    bool CreateVolume(const std::string& Final);
    void CloseOutFd();
    void DiscardUncommitted();

    std::string archive_;
    int number_ = 1;
    bool stream_ = false;
    int missing_ = 0;
    std::ostream* out_ = nullptr;
    std::istream* in_ = nullptr;
    std::unique_ptr<std::ostream> ownedOut_;
    int outFd_ = -1; // the file under ownedOut_
    std::unique_ptr<File> ownedIn_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> read_;
    std::vector<Written> uncommitted_;
};

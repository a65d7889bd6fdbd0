#pragma once
// Saves many data files together, each as AtomicFileWriter saves one (whole
// or not at all, owner-only, a file already holding its bytes left in
// place), but without each waiting for the disk before the next begins: the
// new files are written one after another while a few threads flush them,
// each is renamed over its old version as soon as its own bytes are on the
// disk, and each folder is flushed once after the last rename. A folder
// that cannot be flushed then fails every file renamed into it, as it fails
// a single save (AtomicFileWriter::WriteFile).
#include "store/AtomicFileWriter.h"

#include <exception>
#include <functional>
#include <string>
#include <vector>

class BatchFileWriter {
public:
    // Gives a file's bytes when they are about to be written, so that only
    // a few files' bytes are held at once.
    using Render = std::function<std::string()>;

    // Disk: where every file is created, written, flushed and renamed.
    explicit BatchFileWriter(FileSystem& Disk = FileSystem::Real()) : Disk_(Disk) {}

    // KnownChanged: as AtomicFileWriter::WriteChangedFile. Bytes is called
    // on the thread that calls Run. Saved, when given, is called once the
    // file holds its bytes under its name, on any thread, while the other
    // files are still being saved.
    void Add(const std::string& FileName, Render Bytes, bool KnownChanged, std::function<void()> Saved = {});

    // Saves every file added; each is tried. One entry per file, in the
    // order added: null when it was saved (or already held its bytes), else
    // what WriteFile would have raised for it; the old file is then left as
    // it was.
    std::vector<std::exception_ptr> Run();

private:
    struct Save {
        std::string FileName;
        Render Bytes;
        bool KnownChanged;
        std::function<void()> Saved;
    };
    // Saves Saves_[First, First + Count).
    void RunPart(std::size_t First, std::size_t Count, std::vector<std::exception_ptr>& Failures);

    FileSystem& Disk_;
    std::vector<Save> Saves_;
};

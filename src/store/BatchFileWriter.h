#pragma once
// Saves many data files of one folder together, each as AtomicFileWriter
// saves one (whole or not at all, owner-only, unchanged files left in
// place), but without each waiting for the disk before the next begins:
// every new file is written first, their flushes then overlap, each is
// renamed over its old version as soon as its own bytes are on the disk,
// and each folder is flushed once after the last rename.
#include "store/AtomicFileWriter.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

class BatchFileWriter {
public:
    // Seam: its writes carry every file's bytes (tests inject failures).
    explicit BatchFileWriter(AtomicFileWriter& Seam = AtomicFileWriter::Default()) : Seam_(Seam) {}

    // Bytes must stay valid until Run returns. KnownChanged: as
    // AtomicFileWriter::WriteChangedFile.
    void Add(const std::string& FileName, std::string_view Bytes, bool KnownChanged);

    // Saves every file added; each is tried. One entry per file, in the
    // order added: null when it was saved (or already held its bytes), else
    // what WriteFile would have raised for it; the old file is then left as
    // it was.
    std::vector<std::exception_ptr> Run();

private:
    struct Save {
        std::string FileName;
        std::string_view Bytes;
        bool KnownChanged;
    };
    // Saves Saves_[First, First + Count).
    void RunPart(std::size_t First, std::size_t Count, std::vector<std::exception_ptr>& Failures);

    AtomicFileWriter& Seam_;
    std::vector<Save> Saves_;
};

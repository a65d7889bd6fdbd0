// Data-file parsing on arbitrary bytes: must not crash, and what it loads
// must survive a write and a second read unchanged (same sections, same
// lines, same bytes).
#include "store/TRequestFile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    auto first = TRequestFile::CreateFromLines(nullptr);
    first->SetText(std::string_view(reinterpret_cast<const char*>(Data), Size));

    // A NUL anywhere ends the reading and marks the text damaged; the image
    // written back never holds one.
    const bool nul = Size > 0 && std::memchr(Data, 0, Size) != nullptr;
    if (first->StoppedEarly() != nul)
        std::abort();

    const std::string image = first->Text();
    auto second = TRequestFile::CreateFromLines(nullptr);
    second->SetText(image);

    const auto& a = first->Sections();
    const auto& b = second->Sections();
    if (a.size() != b.size())
        std::abort();
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].Name != b[i].Name || a[i].Lines != b[i].Lines)
            std::abort();
    if (second->Text() != image || second->StoppedEarly())
        std::abort();

    // The line image and the text agree, and parsing the lines gives the same.
    std::vector<std::string> lines;
    first->GetStrings(lines);
    auto third = TRequestFile::CreateFromLines(lines);
    if (third->Text() != image)
        std::abort();

    // The first keyed line of the first section is what a lookup finds.
    if (!a.empty()) {
        for (const std::string& line : a[0].Lines) {
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = line.substr(0, eq);
            if (first->ReadString(a[0].Name, key, std::string(1, '\x01')) != line.substr(eq + 1))
                std::abort();
            (void)first->ReadInteger(a[0].Name, key, 0);
            first->DeleteKey(a[0].Name, key);
            break;
        }
        first->EraseSection(a[0].Name);
    }
    // After edits the text still agrees with the line image, which is built
    // line by line and never from the loaded bytes.
    std::vector<std::string> edited;
    first->GetStrings(edited);
    std::string joined;
    for (const std::string& line : edited)
        joined.append(line).append("\r\n");
    if (first->Text() != joined)
        std::abort();
    return 0;
}

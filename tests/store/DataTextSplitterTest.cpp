// The splitting of a data file's text, every engine against a plain model of
// the reading rules, on random texts made of the bytes the rules care about.
#include "store/DataTextSplitter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct ModelSection {
    std::string Name;
    std::vector<std::string> Lines;
    bool operator==(const ModelSection&) const = default;
};

struct ModelResult {
    std::vector<ModelSection> Sections;
    bool StoppedEarly = false;
    std::size_t Bytes = 0;
};

// The rules read byte by byte.
ModelResult Model(std::string text)
{
    ModelResult out;
    const auto nul = text.find('\0');
    if (nul != std::string::npos) {
        text.resize(nul);
        out.StoppedEarly = true;
    }
    std::string line;
    auto endLine = [&] {
        if (line.empty() || line[0] == ';') {
        } else if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            out.Sections.push_back({line.substr(1, line.size() - 2), {}});
            out.Bytes += line.size() - 2;
        } else if (!out.Sections.empty()) {
            out.Sections.back().Lines.push_back(line);
            out.Bytes += line.size();
        }
        line.clear();
    };
    for (char c : text) {
        if (c == '\r' || c == '\n')
            endLine();
        else
            line += c;
    }
    endLine();
    return out;
}

// Pieces that make lines of every length around the 64-byte blocks, breaks
// of every kind, headers, comments, a rare NUL, and the control bytes next
// to the line ends that a quick test for "no line end here" must not miss.
std::string RandomText(std::mt19937& rng)
{
    static const char* const pieces[] = {"a",    "k=v", "[",  "]",    "[s]",  ";",    "\r",   "\n",
                                         "\r\n", " ",   "\t", "\x0b", "\x0c", "\x0e", "\xff", "="};
    std::string text;
    const std::size_t length = rng() % 400;
    while (text.size() < length) {
        const auto pick = rng() % 40;
        if (pick < 16)
            text += pieces[pick];
        else if (pick < 20)
            text.append(rng() % 150, static_cast<char>('A' + rng() % 26));
        else if (pick == 20 && rng() % 8 == 0)
            text += '\0';
        else
            text += pieces[rng() % 9];
    }
    return text;
}

} // namespace

TEST(DataTextSplitter, EveryEngineFollowsTheModel)
{
    using DataTextSplitter::Engine;
    for (Engine engine : {Engine::Portable, Engine::Avx2}) {
        if (!DataTextSplitter::Available(engine))
            continue; // this processor cannot run it: nothing to compare
        std::mt19937 rng(7);
        // Kept across texts: each split appends after what is there.
        std::vector<std::string_view> lines;
        std::vector<DataTextSection> sections;
        for (int round = 0; round < 3000; ++round) {
            std::string text = RandomText(rng);
            // Now and then a text whose first kilobytes (long lines) promise
            // far fewer lines than follow, so that the line list must grow.
            if (round % 100 == 0) {
                std::string head = "[big]\n";
                for (int i = 0; i < 3000; ++i)
                    head += i < 50 ? std::string(100, 'x') + "\n" : "a\r\n";
                text = head + text;
            }
            // A buffer of the text's exact size, so that a read past its end
            // is caught by the address sanitizer.
            std::unique_ptr<char[]> bytes(new char[text.size()]);
            std::memcpy(bytes.get(), text.data(), text.size());
            const std::size_t linesBefore = lines.size();
            const std::size_t sectionsBefore = sections.size();
            const DataTextSplitter::Result got =
                DataTextSplitter::Split(std::string_view(bytes.get(), text.size()), lines, sections, engine);

            const ModelResult want = Model(text);
            // The new sections hold the new lines in order, each right after
            // the one before.
            std::vector<ModelSection> gotSections;
            std::size_t next = linesBefore;
            for (std::size_t s = sectionsBefore; s < sections.size(); ++s) {
                ASSERT_EQ(sections[s].First, next) << round;
                next += sections[s].Count;
                ASSERT_LE(next, lines.size()) << round;
                ModelSection section{std::string(sections[s].Name), {}};
                for (std::size_t i = sections[s].First; i < next; ++i)
                    section.Lines.emplace_back(lines[i]);
                gotSections.push_back(std::move(section));
            }
            ASSERT_EQ(next, lines.size()) << round;
            ASSERT_EQ(gotSections, want.Sections) << static_cast<int>(engine) << "/" << round;
            ASSERT_EQ(got.StoppedEarly, want.StoppedEarly) << round;
            ASSERT_EQ(got.Bytes, want.Bytes) << round;
            if (lines.size() > 100000) {
                lines.clear();
                sections.clear();
            }
        }
    }
}

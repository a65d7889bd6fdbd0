#include "app/steps/StorageOperations.h"

#include "base/LetterCase.h"
#include "store/TRequestFile.h"

#include <algorithm>

std::string ZeroPad(int Number, int Width)
{
    std::string text = std::to_string(Number);
    if (static_cast<int>(text.size()) < Width)
        text.insert(0, static_cast<std::size_t>(Width) - text.size(), '0');
    return text;
}

bool IsInList(const std::string& Id, const std::vector<std::string>& List)
{
    return std::any_of(List.begin(), List.end(), [&](const std::string& e) { return LetterCase::SameText(e, Id); });
}

std::vector<std::string> SplitCommaList(const std::string& Text)
{
    std::vector<std::string> items;
    if (Text.empty())
        return items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = Text.find(',', start);
        items.push_back(Text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return items;
}

std::string JoinCommaList(const std::vector<std::string>& List)
{
    std::string text;
    for (std::size_t i = 0; i < List.size(); ++i) {
        if (i > 0)
            text += ',';
        text += List[i];
    }
    return text;
}

std::vector<std::string> ReadKeys(const TRequestFile& Storage)
{
    return SplitCommaList(Storage.ReadString("General", "Keys", ""));
}

std::vector<std::string> AllCertificates(const TRequestFile& Storage)
{
    std::vector<std::string> ids;
    const std::string master = Storage.ReadString("General", "MasterKey", "");
    if (!master.empty())
        ids.push_back(master);
    for (const std::string& id : ReadKeys(Storage))
        if (!id.empty())
            ids.push_back(id);
    return ids;
}

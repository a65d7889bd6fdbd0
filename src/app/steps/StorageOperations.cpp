#include "app/steps/StorageOperations.h"

#include "base/LetterCase.h"
#include "store/StorageFile.h"

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
    return StorageFile::SplitList(Text);
}

std::string JoinCommaList(const std::vector<std::string>& List)
{
    return StorageFile::JoinList(List);
}

std::vector<std::string> ReadKeys(const TRequestFile& Storage)
{
    return StorageFile::Reading(Storage).Keys();
}

std::vector<std::string> AllCertificates(const TRequestFile& Storage)
{
    return StorageFile::Reading(Storage).Certificates();
}

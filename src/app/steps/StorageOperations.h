#pragma once
// Small operations on an entity's storage file that several steps share.
#include <string>
#include <vector>

class TRequestFile;

// Decimal text of Number, left-padded with "0" to Width characters.
std::string ZeroPad(int Number, int Width);

// True when some entry equals Id without regard to letter case.
bool IsInList(const std::string& Id, const std::vector<std::string>& List);

// A comma list as written in [General] Keys; an empty text is an empty list.
std::vector<std::string> SplitCommaList(const std::string& Text);
std::string JoinCommaList(const std::vector<std::string>& List);

// [General] Keys of the storage as a list.
std::vector<std::string> ReadKeys(const TRequestFile& Storage);
// [General] MasterKey followed by [General] Keys, empty entries left out.
std::vector<std::string> AllCertificates(const TRequestFile& Storage);

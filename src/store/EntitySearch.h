#pragma once
// Finding an entity among hundreds: the text typed into the entity selector's
// search field against an entity's Razao and inscription.
#include <string>

class TUserData;

// True when Query (Windows-1252, as typed) is empty, or is part of the
// entity's Razao (letter case and Portuguese accents ignored), or, without
// its punctuation and blanks, part of its inscription ("11.222.333" finds
// 11222333000181, "12.abc" finds 12ABC34501DE35).
bool MatchesEntitySearch(const TUserData& Entity, const std::string& Query);

#pragma once
// Names and addresses are stored in plain ASCII capitals, as the authority's
// side expects. A Portuguese accented letter typed into such a field keeps
// its letter instead of vanishing: "Conceição" becomes "CONCEICAO", not
// "CONCEIO".

// The plain capital of a Portuguese accented letter (either case) or of the
// ordinal indicators º and ª; 0 for any other character.
char16_t FoldPortugueseLetter(char16_t Character);

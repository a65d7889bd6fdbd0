#pragma once
// Makes the filled-in term of an entity: writes its data as TermoAdesao.xml
// in the data folder and, when the stylesheet TermoAdesaoStyle.xsl is in
// the program folder, transforms it into VerTermo.html beside the XML.
//
// The page is written under a temporary name and takes its own name only
// when the transformation succeeded; after a failure the page of an earlier
// run (perhaps another entity's) is removed, so nothing stale can be shown,
// printed or saved as this entity's term.
#include <string>

class TSablotEngine;
class TUserData;

struct TermOutcome {
    // The page to show; empty when there is none (no stylesheet, or the
    // transformation failed).
    std::string HtmlPath;
    // The message to show: the engine's last error after a failed
    // transformation; empty otherwise.
    std::string Error;
};

class TermGenerator {
public:
    TermGenerator(std::string DataDir, std::string ProgramDir);

    std::string XmlPath() const;
    std::string StylePath() const;
    std::string HtmlPath() const;

    // Writes the XML, then transforms it. Raises EFCreateError when the XML
    // cannot be written (nothing else is done then).
    TermOutcome Generate(const TUserData& Entity, TSablotEngine& Engine, const std::string& Date);

private:
    std::string dataDir_;
    std::string programDir_;
};

#include "agreement/TermGenerator.h"

#include "agreement/TSablotEngine.h"
#include "agreement/TermXml.h"
#include "agreement/UriToolkit.h"
#include "base/FileErrors.h"
#include "base/ProgramPaths.h"
#include "base/SafeReplace.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

TermGenerator::TermGenerator(std::string DataDir, std::string ProgramDir)
    : dataDir_(ProgramPaths::WithSlash(std::move(DataDir))), programDir_(ProgramPaths::WithSlash(std::move(ProgramDir)))
{
}

std::string TermGenerator::XmlPath() const
{
    return dataDir_ + TermXml::XmlFileName;
}
std::string TermGenerator::StylePath() const
{
    return programDir_ + TermXml::StyleFileName;
}
std::string TermGenerator::HtmlPath() const
{
    return dataDir_ + TermXml::HtmlFileName;
}

TermOutcome TermGenerator::Generate(const TUserData& Entity, TSablotEngine& Engine, const std::string& Date)
{
    TermOutcome outcome;
    const std::string xml = TermXml::Build(Entity, Date);
    SafeReplace::Options options;
    options.NewFileMode = 0644;
    if (const int error = SafeReplace::ReplaceFile(XmlPath(), xml.data(), xml.size(), options); error != 0)
        throw EFCreateError(FileErrors::CannotCreateFile(XmlPath()) + ". " + std::strerror(error));

    struct stat st {};
    if (::stat(StylePath().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        // No stylesheet: no page. An older one is no page of this entity.
        ::unlink(HtmlPath().c_str());
        return outcome;
    }
    if (Engine.RunProcessorGen(UriToolkit::PathToFileUri(StylePath()), UriToolkit::PathToFileUri(XmlPath()),
                               UriToolkit::PathToFileUri(HtmlPath()))) {
        outcome.HtmlPath = HtmlPath();
    } else {
        ::unlink(HtmlPath().c_str());
        outcome.Error = Engine.LastError();
    }
    return outcome;
}

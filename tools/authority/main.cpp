// qvauthority: the certification authority's side, from the command line.
//
//   qvauthority [-d DAYS] FOLDER REQUEST [RESPONSE]
//
// Answers the request file REQUEST (as the client writes it to the removable
// medium) with a response file: RESPONSE, or REQUEST's name with the
// extension ".CNS" beside it. FOLDER keeps the authority's key pair (made on
// first use), its serial numbers and the keys it knows; docs/ describes the
// certificate it issues. Certificates are valid for DAYS days (default 1095).
//
// Exit status: 0 answered, 1 refused or failed (the reason on stderr),
// 2 wrong usage.
#include "AuthorityError.h"
#include "CertificationAuthority.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>

namespace fs = std::filesystem;

namespace {

const char* Usage = "usage: qvauthority [-d DAYS] FOLDER REQUEST [RESPONSE]\n"
                    "  answers the certificate request REQUEST with a response file (default: REQUEST's\n"
                    "  name with the extension .CNS); FOLDER holds the authority's keys and serial numbers\n"
                    "  and is made on first use; -d: days of validity of the certificates (default 1095).\n";

std::string DefaultResponsePath(const std::string& Request)
{
    fs::path path(Request);
    path.replace_extension(".CNS");
    return path.string();
}

} // namespace

int main(int argc, char** argv)
{
    unsigned days = 1095;
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "-d") == 0) {
        if (i + 1 >= argc) {
            std::cerr << Usage;
            return 2;
        }
        char* end = nullptr;
        const unsigned long value = std::strtoul(argv[i + 1], &end, 10);
        if (*argv[i + 1] == '\0' || *end != '\0' || value < 1 || value > 36500) {
            std::cerr << "qvauthority: DAYS must be a number from 1 to 36500\n";
            return 2;
        }
        days = static_cast<unsigned>(value);
        i += 2;
    }
    const int rest = argc - i;
    if (rest < 2 || rest > 3) {
        std::cerr << Usage;
        return 2;
    }
    const std::string folder = argv[i];
    const std::string request = argv[i + 1];
    const std::string response = rest == 3 ? argv[i + 2] : DefaultResponsePath(request);
    if (fs::weakly_canonical(request) == fs::weakly_canonical(response)) {
        std::cerr << "qvauthority: the response would replace the request\n";
        return 2;
    }

    try {
        bool created = false;
        CertificationAuthority authority(folder, created);
        if (created)
            std::cout << "made a new authority key pair in " << folder << "\n";
        const auto issued = authority.Answer(request, response, std::time(nullptr), days);
        for (std::size_t n = 0; n < issued.size(); ++n)
            std::cout << (n < 10 ? "0" : "") << n << " " << issued[n].Identifier << "\n";
        std::cout << "answered " << issued.size() << " certificate(s) in " << response << "\n";
        return 0;
    } catch (const ERequestRefused& e) {
        std::cerr << "qvauthority: request refused: " << e.what() << "\n";
    } catch (const std::exception& e) {
        std::cerr << "qvauthority: " << e.what() << "\n";
    }
    return 1;
}

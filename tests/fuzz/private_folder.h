#pragma once
// A fresh folder of the fuzz process's own under $TMPDIR (or /tmp), so that
// files made from inputs never land in the tree or in another run's way.
#include <cstdlib>
#include <string>

inline std::string MakePrivateFolder(const char* prefix)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "_XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

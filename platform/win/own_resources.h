#pragma once
#include <cstddef>

// A resource carried inside the program (generated from resources/ at build time).
struct OwnResource {
    const char* type;
    int id;
    const unsigned char* data;
    size_t size;
};

// Resource of the running program by type and id; nullptr when it has none.
// Defined by the generated table linked into each program.
const OwnResource* FindOwnResource(const char* type, int id);

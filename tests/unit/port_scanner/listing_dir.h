#pragma once
// A private device folder for the port library: the test writes the listing
// and KESTLE_DEVICE_DIR points at the folder while the object lives.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

class ListingDir {
public:
    ListingDir()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/listing_XXXXXX";
        if (mkdtemp(pattern.data()))
            dir_ = pattern;
        setenv("KESTLE_DEVICE_DIR", dir_.c_str(), 1);
    }
    ~ListingDir()
    {
        unsetenv("KESTLE_DEVICE_DIR");
        std::remove(Path("listing").c_str());
        rmdir(dir_.c_str());
    }
    ListingDir(const ListingDir&) = delete;
    ListingDir& operator=(const ListingDir&) = delete;

    // Replaces the listing atomically, as the emulator does.
    void Write(const std::vector<std::string>& entries) const
    {
        std::string text;
        for (const std::string& entry : entries)
            text += entry + "\n";
        WriteText(text);
    }
    void WriteText(const std::string& text) const
    {
        const std::string temp = Path("listing.tmp");
        std::ofstream(temp, std::ios::binary) << text;
        std::rename(temp.c_str(), Path("listing").c_str());
    }
    // A listing fixture from tests/fixtures/listings.
    void WriteFixture(const std::string& name) const
    {
        std::ifstream in(std::string(TEST_FIXTURES_DIR) + "/listings/" + name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        WriteText(text.str());
    }
    void Clear() const { std::remove(Path("listing").c_str()); }

    const std::string& Dir() const { return dir_; }

private:
    std::string Path(const char* name) const { return dir_ + "/" + name; }
    std::string dir_;
};

#include "UnicodeLibraries.h"

#include <dirent.h>
#include <glob.h>
#include <sys/utsname.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct Listing {
    bool complete = true;
    std::set<std::string> names; // every libicu* file the loader could find
};

bool isUnicodeName(const char *name)
{
    return std::strchr(name, '/') == nullptr
           && (std::strncmp(name, "libicuuc.so.", 12) == 0 || std::strncmp(name, "libicui18n.so.", 14) == 0);
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The folders named in the loader's configuration, following its includes.
bool readConfiguration(const std::string &file, std::vector<std::string> &folders, int depth)
{
    FILE *in = std::fopen(file.c_str(), "re");
    if (!in)
        return errno == ENOENT;
    bool complete = true;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, in)) {
        std::string line = buffer;
        line = trimmed(line.substr(0, line.find('#')));
        if (line.compare(0, 8, "include ") == 0 || line.compare(0, 8, "include\t") == 0) {
            std::string pattern = trimmed(line.substr(8));
            if (!pattern.empty() && pattern.front() != '/')
                pattern = file.substr(0, file.rfind('/') + 1) + pattern;
            glob_t matches {};
            if (depth < 4 && glob(pattern.c_str(), 0, nullptr, &matches) == 0) {
                for (size_t i = 0; i < matches.gl_pathc; ++i)
                    complete = readConfiguration(matches.gl_pathv[i], folders, depth + 1) && complete;
            }
            globfree(&matches);
        } else if (!line.empty() && line.front() == '/') {
            folders.push_back(line);
        }
    }
    std::fclose(in);
    return complete;
}

// The loader also looks in per-CPU subfolders: glibc-hwcaps/*, tls, and the
// machine's own name, nested.
bool searchedSubfolder(const std::string &name, const std::string &parent, const std::string &machine)
{
    return name == "glibc-hwcaps" || name == "tls" || name == machine
           || (parent.size() >= 13 && parent.compare(parent.size() - 13, 13, "/glibc-hwcaps") == 0);
}

void list(const std::string &folder, const std::string &machine, int depth, Listing &listing)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir) {
        if (errno != ENOENT && errno != ENOTDIR)
            listing.complete = false;
        return;
    }
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, 6, "libicu") == 0)
            listing.names.insert(name);
        else if (depth < 3 && name != "." && name != ".." && searchedSubfolder(name, folder, machine))
            list(folder + '/' + name, machine, depth + 1, listing);
    }
    closedir(dir);
}

Listing scan()
{
    Listing listing;
    std::vector<std::string> folders {"/lib/" PENWICK_LIBRARY_ARCH, "/usr/lib/" PENWICK_LIBRARY_ARCH, "/lib",
                                      "/usr/lib"};
    listing.complete = readConfiguration("/etc/ld.so.conf", folders, 0);
    utsname machine {};
    uname(&machine);
    for (const std::string &folder : folders)
        list(folder, machine.machine, 0, listing);
    return listing;
}

} // namespace

bool UnicodeLibraries::cannotBeFound(const char *name, char *where, std::size_t size)
{
    if (!name || !isUnicodeName(name))
        return false;
    if (const char *extra = std::getenv("LD_LIBRARY_PATH"); extra && *extra)
        return false;
    static const Listing listing = scan();
    if (!listing.complete || listing.names.count(name))
        return false;
    const int length = std::snprintf(where, size, "/usr/lib/" PENWICK_LIBRARY_ARCH "/%s", name);
    return length > 0 && std::size_t(length) < size;
}

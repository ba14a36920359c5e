// Playlist file reading for the simulator's commands.
#include "playlistFile.h"

#include <fstream>

bool readPlaylistFile(const char *path, std::vector<std::string> &names)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        names.push_back(line);
    }
    return true;
}

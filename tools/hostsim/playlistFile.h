// Reads a playlist file into the names the host would hold, byte for byte.
#pragma once
#include <string>
#include <vector>

// One entry per line that is neither blank nor a '#' comment; line ends
// (LF or CR LF) are dropped, every other byte kept. False if unreadable.
bool readPlaylistFile(const char *path, std::vector<std::string> &names);

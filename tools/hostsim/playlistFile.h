// Reads a user's playlist file (.m3u, .m3u8 or .pls) into the names the host
// would hold, each one the bytes it is in the file.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

enum class PlaylistKind {
    Lines, // .m3u and .m3u8: one name per line, '#' lines are comments
    Pls,   // .pls: names in FileN= lines, in the order of N
};

// A longer line names no file: why this bound, in playlistFile.cpp.
extern const size_t LongestPathBytes;

// The kind that the file name's extension (any case) names; false for others.
bool playlistKindOf(const std::string &path, PlaylistKind &kind);

// Parses a whole file's bytes. A UTF-8 byte order mark is dropped; line ends
// are LF, CR LF or CR. False with a one-line `error` for a UTF-16 file, a
// name too long to be a path or holding a NUL byte, a repeated FileN key, or
// no entries at all.
bool parsePlaylist(PlaylistKind kind, const std::string &bytes, std::vector<std::string> &names,
                   std::string &error);

// Reads and parses the file at `path`; also false, with `error` set, for an
// unknown extension or a file that is missing or cannot be read.
bool readPlaylistFile(const char *path, std::vector<std::string> &names, std::string &error);

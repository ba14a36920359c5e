// Reads a user's playlist file (.m3u, .m3u8 or .pls) into the names the host
// would hold, as the player reads it: a .m3u8, and a .m3u or .pls that starts
// with a UTF-8 byte order mark, is UTF-8 text whose names are decoded to
// UTF-16; any other file's names are the bytes they are in it.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

enum class PlaylistKind {
    Lines, // .m3u and .m3u8: one name per line, '#' lines are comments
    Pls,   // .pls: names in FileN= lines, in the order of N
};

struct Playlist {
    bool utf8 = false;                   // the file is UTF-8 text
    std::vector<std::string> names;      // each name as the bytes it is in the file
    std::vector<std::wstring> wideNames; // when utf8: each name decoded to UTF-16
};

// A longer line names no file: why this bound, in playlistFile.cpp.
extern const size_t LongestPathBytes;

// The kind that the file name's extension (any case) names, and whether that
// extension alone makes the text UTF-8 (.m3u8); false for other extensions.
bool playlistKindOf(const std::string &path, PlaylistKind &kind, bool &utf8);

// Parses a whole file's bytes; the text is UTF-8 when `utf8` says so or a
// UTF-8 byte order mark opens it. The mark is dropped; line ends are LF,
// CR LF or CR. False with a one-line `error` for a UTF-16 file, a name too
// long to be a path, holding a NUL byte or (in UTF-8 text) not valid UTF-8, a
// repeated FileN key, or no entries at all.
bool parsePlaylist(PlaylistKind kind, bool utf8, const std::string &bytes, Playlist &playlist, std::string &error);

// Reads and parses the file at `path`; also false, with `error` set, for an
// unknown extension or a file that is missing or cannot be read.
bool readPlaylistFile(const char *path, Playlist &playlist, std::string &error);

// Strict UTF-8 to UTF-16: false for a stray or missing continuation byte, an
// overlong form, a surrogate, or a value past U+10FFFF.
bool decodeUtf8(const std::string &text, std::wstring &wide);

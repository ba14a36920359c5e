// Playlist file reading for the simulator's commands: the names are never
// decoded or normalised, since the plug-in compares bytes and so must see
// exactly what a player would hand it.
#include "playlistFile.h"

#include <windows.h>

#include <algorithm>
#include <map>

// Windows paths reach 32767 UTF-16 units (with the \\?\ prefix). No ANSI code
// page spends more than 2 bytes on one unit and UTF-8 no more than 3, so a
// name longer than 3 x 32767 bytes cannot be a path in any playlist encoding.
const size_t LongestPathBytes = 3 * 32767;

static bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

static char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool playlistKindOf(const std::string &path, PlaylistKind &kind)
{
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find_first_of("\\/", dot) != std::string::npos)
        return false;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), lowerAscii);
    if (extension == "m3u" || extension == "m3u8")
        kind = PlaylistKind::Lines;
    else if (extension == "pls")
        kind = PlaylistKind::Pls;
    else
        return false;
    return true;
}

// Splits on LF, CR LF or a lone CR: none of them can be part of a path.
static std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '\n' && text[k] != '\r')
            continue;
        lines.push_back(text.substr(start, k - start));
        if (text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n')
            ++k;
        start = k + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

static bool checkName(const std::string &name, size_t lineNumber, std::string &error)
{
    if (name.size() > LongestPathBytes) {
        error = "line " + std::to_string(lineNumber) + " is " + std::to_string(name.size()) +
                " bytes long; no path is longer than " + std::to_string(LongestPathBytes) + " bytes";
        return false;
    }
    if (name.find('\0') != std::string::npos) {
        error = "line " + std::to_string(lineNumber) + " holds a NUL byte, which no path can";
        return false;
    }
    return true;
}

// The entry number of a "FileN" key (any case), without leading zeros, so
// that File01 and File1 are the same entry; empty if the key is no such key.
static std::string plsEntryNumber(std::string key)
{
    while (!key.empty() && isBlank(key.back()))
        key.pop_back();
    size_t start = key.find_first_not_of(" \t");
    if (start == std::string::npos || key.size() - start <= 4)
        return "";
    std::string word = key.substr(start, 4);
    std::transform(word.begin(), word.end(), word.begin(), lowerAscii);
    std::string digits = key.substr(start + 4);
    if (word != "file" || digits.find_first_not_of("0123456789") != std::string::npos)
        return "";
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    return digits;
}

// Entry numbers compare as numbers of any length: shorter is smaller.
static bool numberBefore(const std::string &a, const std::string &b)
{
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

bool parsePlaylist(PlaylistKind kind, const std::string &bytes, std::vector<std::string> &names,
                   std::string &error)
{
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        error = "UTF-16 text; save the playlist as UTF-8 (.m3u8)";
        return false;
    }
    // The byte order mark belongs to the file, not to its first name.
    std::string text = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
    std::vector<std::string> lines = splitLines(text);

    std::vector<std::string> found;
    std::map<std::string, std::pair<std::string, size_t>, decltype(&numberBefore)> numbered(numberBefore);
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string &line = lines[k];
        std::string name;
        std::string number;
        if (kind == PlaylistKind::Lines) {
            size_t first = line.find_first_not_of(" \t");
            if (first == std::string::npos || line[first] == '#')
                continue;
            name = line;
        } else {
            size_t equals = line.find('=');
            if (equals == std::string::npos)
                continue;
            number = plsEntryNumber(line.substr(0, equals));
            name = line.substr(equals + 1);
            if (number.empty() || name.find_first_not_of(" \t") == std::string::npos)
                continue;
        }
        if (!checkName(name, k + 1, error))
            return false;
        if (kind == PlaylistKind::Lines) {
            found.push_back(name);
            continue;
        }
        auto placed = numbered.emplace(number, std::make_pair(name, k + 1));
        if (!placed.second) {
            error = "line " + std::to_string(k + 1) + " repeats File" + number + " of line " +
                    std::to_string(placed.first->second.second);
            return false;
        }
    }
    for (const auto &entry : numbered)
        found.push_back(entry.second.first);
    if (found.empty()) {
        error = "no entries";
        return false;
    }
    names = found;
    return true;
}

static std::string windowsErrorText(DWORD code)
{
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return "no such file";
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                   sizeof text, nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return "cannot read it: " + (message.empty() ? "Windows error " + std::to_string(code) : message);
}

bool readPlaylistFile(const char *path, std::vector<std::string> &names, std::string &error)
{
    PlaylistKind kind;
    if (!playlistKindOf(path, kind)) {
        error = "not a .m3u, .m3u8 or .pls file";
        return false;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = windowsErrorText(GetLastError());
        return false;
    }
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    BOOL ok;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr)) && got > 0)
        bytes.append(chunk, got);
    DWORD readError = ok ? 0 : GetLastError();
    CloseHandle(file);
    if (!ok) {
        error = windowsErrorText(readError);
        return false;
    }
    return parsePlaylist(kind, bytes, names, error);
}

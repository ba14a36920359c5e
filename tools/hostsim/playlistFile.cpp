// Playlist file reading for the simulator's commands: names are never
// trimmed or normalised, since the plug-in compares bytes and so must see
// exactly what a player would hand it. UTF-8 text is decoded, no more, so
// that the names reach the plug-in through the player's own conversion.
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

bool playlistKindOf(const std::string &path, PlaylistKind &kind, bool &utf8)
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
    utf8 = extension == "m3u8";
    return true;
}

bool decodeUtf8(const std::string &text, std::wstring &wide)
{
    static_assert(sizeof(wchar_t) == 2, "UTF-16 units, as on Windows");
    std::wstring decoded;
    for (size_t k = 0; k < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[k]);
        size_t extra;
        unsigned long value, least;
        if (lead < 0x80) {
            extra = 0, value = lead, least = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, value = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, value = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, value = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (text.size() - k <= extra)
            return false;
        for (size_t n = 1; n <= extra; ++n) {
            unsigned char next = static_cast<unsigned char>(text[k + n]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = value << 6 | (next & 0x3F);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        if (value >= 0x10000) {
            value -= 0x10000;
            decoded += static_cast<wchar_t>(0xD800 + (value >> 10));
            decoded += static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
        } else {
            decoded += static_cast<wchar_t>(value);
        }
        k += extra + 1;
    }
    wide = decoded;
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

bool parsePlaylist(PlaylistKind kind, bool utf8, const std::string &bytes, Playlist &playlist, std::string &error)
{
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        error = "UTF-16 text; save the playlist as UTF-8 (.m3u8)";
        return false;
    }
    // The byte order mark belongs to the file, not to its first name, and
    // says that the file is UTF-8 whatever its name.
    bool marked = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    utf8 = utf8 || marked;
    std::string text = marked ? bytes.substr(3) : bytes;
    std::vector<std::string> lines = splitLines(text);

    std::vector<std::pair<std::string, size_t>> found; // name, line number
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
            found.emplace_back(name, k + 1);
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
        found.push_back(entry.second);
    if (found.empty()) {
        error = "no entries";
        return false;
    }
    Playlist read;
    read.utf8 = utf8;
    for (const auto &entry : found) {
        read.names.push_back(entry.first);
        std::wstring wide;
        if (utf8 && !decodeUtf8(entry.first, wide)) {
            error = "line " + std::to_string(entry.second) + " is not valid UTF-8";
            return false;
        }
        if (utf8)
            read.wideNames.push_back(wide);
    }
    playlist = read;
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

bool readPlaylistFile(const char *path, Playlist &playlist, std::string &error)
{
    PlaylistKind kind;
    bool utf8;
    if (!playlistKindOf(path, kind, utf8)) {
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
    return parsePlaylist(kind, utf8, bytes, playlist, error);
}

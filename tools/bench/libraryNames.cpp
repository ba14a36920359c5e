// Music-library paths for the sweep benchmark.
#include "libraryNames.h"

static const char *const Roots[] = {"C:\\Music\\", "D:\\Media\\Audio\\", "C:\\Users\\Public\\Music\\"};
static const char *const Words[] = {
    "Aurora", "Lane", "Northern", "Lights", "Harbour", "Mill", "River", "Slow", "Frost", "Garden",
    "Winter", "Signal", "Paper", "Moon", "Iron", "Velvet", "Echo", "Station", "Blue", "Hollow",
    "Quiet", "Storm", "Glass", "Orchard", "Copper", "Lantern", "Tide", "Ember", "Field", "Kite"};
static const char *const Extensions[] = {".mp3", ".flac", ".ogg", ".m4a"};
const size_t MinLength = 40;
const size_t MaxLength = 120;

static std::string words(std::mt19937 &rng, int count)
{
    std::string text;
    for (int k = 0; k < count; ++k) {
        if (k)
            text += ' ';
        text += Words[rng() % (sizeof Words / sizeof *Words)];
    }
    return text;
}

// Root, artist and album folders, then "NN - Title.ext" with a title long
// enough to reach a length drawn from 40..120 and cut to it when too long.
static std::string trackPath(const std::string &albumFolder, int track, std::mt19937 &rng)
{
    size_t length = MinLength + rng() % (MaxLength - MinLength + 1);
    std::string extension = Extensions[rng() % (sizeof Extensions / sizeof *Extensions)];
    std::string head = albumFolder + (track < 10 ? "0" : "") + std::to_string(track) + " - ";
    std::string title = words(rng, 1);
    while (head.size() + title.size() + extension.size() < length)
        title += " " + words(rng, 1);
    if (head.size() + title.size() + extension.size() > length && head.size() + extension.size() + 1 < length)
        title.resize(length - head.size() - extension.size());
    return head + title + extension;
}

std::vector<std::string> distinctLibraryNames(int n, std::mt19937 &rng)
{
    std::vector<std::string> names;
    std::string root = Roots[rng() % (sizeof Roots / sizeof *Roots)];
    for (int artist = 1; static_cast<int>(names.size()) < n; ++artist) {
        // The folder numbers keep every path distinct whatever words are drawn.
        std::string artistFolder = root + words(rng, 1 + rng() % 2) + " " + std::to_string(artist) + "\\";
        int albums = 1 + rng() % 4;
        for (int album = 1; album <= albums && static_cast<int>(names.size()) < n; ++album) {
            std::string albumFolder = artistFolder + words(rng, 1 + rng() % 3) + " (" +
                                      std::to_string(1970 + rng() % 55) + ") " + std::to_string(album) + "\\";
            int tracks = 6 + rng() % 10;
            for (int track = 1; track <= tracks && static_cast<int>(names.size()) < n; ++track)
                names.push_back(trackPath(albumFolder, track, rng));
        }
    }
    return names;
}

static std::string otherCase(std::string name, std::mt19937 &rng)
{
    bool changed = false;
    while (!changed) {
        for (char &c : name) {
            bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            if (letter && rng() % 3 == 0) {
                c = static_cast<char>(c ^ 0x20);
                changed = true;
            }
        }
    }
    return name;
}

std::vector<std::string> libraryNamesWithCaseRepeats(int n, std::mt19937 &rng)
{
    int repeats = n / 3;
    std::vector<std::string> names = distinctLibraryNames(n - repeats, rng);
    for (int k = 0; k < repeats; ++k) {
        size_t original = rng() % names.size();
        // Inserting only after the original never moves it.
        size_t at = original + 1 + rng() % (names.size() - original);
        names.insert(names.begin() + at, otherCase(names[original], rng));
    }
    return names;
}

// Playlist names shaped like a music library's: full paths of 40 to 120 bytes
// under shared root, artist and album folders, from a seeded generator.
#pragma once
#include <random>
#include <string>
#include <vector>

// n distinct paths in library order (album by album), so neighbours share
// long folder prefixes as an added folder's entries do.
std::vector<std::string> distinctLibraryNames(int n, std::mt19937 &rng);

// n paths of which a third repeat earlier ones with some ASCII letters in
// the other case, each repeat placed somewhere after its first appearance.
std::vector<std::string> libraryNamesWithCaseRepeats(int n, std::mt19937 &rng);

// The playlist reader: which lines are entries, in what order, with which
// bytes, and which files are refused with what one-line reason.
#include "playlistFile.h"

#include <gtest/gtest.h>

using Names = std::vector<std::string>;

TEST(PlaylistFile, KindFollowsTheExtensionInAnyCase)
{
    const struct {
        const char *path;
        bool known;
        PlaylistKind kind;
    } cases[] = {
        {"C:\\Music\\mix.m3u", true, PlaylistKind::Lines},
        {"mix.M3U8", true, PlaylistKind::Lines},
        {"Z:/lists/old.Pls", true, PlaylistKind::Pls},
        {"mix.m3u.txt", false, PlaylistKind::Lines},
        {"C:\\lists.pls\\mix", false, PlaylistKind::Lines},
        {"mix.m3", false, PlaylistKind::Lines},
        {"m3u", false, PlaylistKind::Lines},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        PlaylistKind kind = c.kind == PlaylistKind::Lines ? PlaylistKind::Pls : PlaylistKind::Lines;
        ASSERT_EQ(playlistKindOf(c.path, kind), c.known);
        if (c.known) {
            EXPECT_EQ(kind, c.kind);
        }
    }
}

TEST(PlaylistFile, EntriesKeepTheirBytesAndOrder)
{
    const struct {
        const char *title;
        PlaylistKind kind;
        std::string bytes;
        Names names;
    } cases[] = {
        {"m3u comments, blank lines and every line end", PlaylistKind::Lines,
         "#EXTM3U\r\n#EXTINF:123,Artist - Title\r\nC:\\a.mp3\r\n\r\n   \n  #indented comment\nb.mp3\rc.mp3\n"
         "d.mp3",
         {"C:\\a.mp3", "b.mp3", "c.mp3", "d.mp3"}},
        {"spaces, case and 8-bit bytes kept as they are", PlaylistKind::Lines,
         " C:\\x.mp3 \nC:\\CAF\xC9.mp3\nC:\\caf\xC3\xA9.mp3\n",
         {" C:\\x.mp3 ", "C:\\CAF\xC9.mp3", "C:\\caf\xC3\xA9.mp3"}},
        {"a UTF-8 byte order mark opens the file, not the first name", PlaylistKind::Lines,
         "\xEF\xBB\xBF" "C:\\\xC3\xA4.mp3\n\xEF\xBB\xBF" "b.mp3\n",
         {"C:\\\xC3\xA4.mp3", "\xEF\xBB\xBF" "b.mp3"}},
        {"a hash inside a name is no comment", PlaylistKind::Lines, "C:\\#1 hits\\a.mp3\n",
         {"C:\\#1 hits\\a.mp3"}},
        {"pls entries in the order of their numbers, not of their lines", PlaylistKind::Pls,
         "[playlist]\nFile3=c.mp3\nTitle3=C\nFile1=a.mp3\nLength1=100\nFile10=j.mp3\nFile2=b.mp3\n"
         "NumberOfEntries=4\nVersion=2\n",
         {"a.mp3", "b.mp3", "c.mp3", "j.mp3"}},
        {"pls keys in any case, leading zeros, blank values skipped, '=' kept in names", PlaylistKind::Pls,
         "\xEF\xBB\xBF[playlist]\r\nfile02=C:\\b=2.mp3\r\nFILE1=a.mp3 \r\nFile3=\r\nFile4=  \r\nFileX=x.mp3\r\n"
         "File=y.mp3\r\nMyFile5=z.mp3\r\n",
         {"a.mp3 ", "C:\\b=2.mp3"}},
        {"a name of the longest path length", PlaylistKind::Lines,
         std::string(LongestPathBytes, 'a') + "\n", {std::string(LongestPathBytes, 'a')}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        Names names;
        std::string error;
        EXPECT_TRUE(parsePlaylist(c.kind, c.bytes, names, error)) << error;
        EXPECT_EQ(names, c.names);
    }
}

TEST(PlaylistFile, RefusesWhatCannotBeAPlaylistOfPaths)
{
    const struct {
        const char *title;
        PlaylistKind kind;
        std::string bytes;
        std::string error;
    } cases[] = {
        {"empty file", PlaylistKind::Lines, "", "no entries"},
        {"only comments and blank lines", PlaylistKind::Lines, "#EXTM3U\r\n\r\n#EXTINF:1,x\r\n", "no entries"},
        {"pls without File lines", PlaylistKind::Pls, "[playlist]\nTitle1=x\nNumberOfEntries=0\n", "no entries"},
        {"m3u entries read as pls", PlaylistKind::Pls, "C:\\a.mp3\nC:\\b.mp3\n", "no entries"},
        {"UTF-16 little-endian", PlaylistKind::Lines, std::string("\xFF\xFE" "a\0\n\0", 6),
         "UTF-16 text; save the playlist as UTF-8 (.m3u8)"},
        {"UTF-16 big-endian", PlaylistKind::Pls, std::string("\xFE\xFF\0a", 4),
         "UTF-16 text; save the playlist as UTF-8 (.m3u8)"},
        {"a NUL byte in a name", PlaylistKind::Lines, std::string("a.mp3\nb\0.mp3\n", 13),
         "line 2 holds a NUL byte, which no path can"},
        {"one byte past the longest path", PlaylistKind::Lines,
         "#EXTM3U\na.mp3\n" + std::string(LongestPathBytes + 1, 'a') + "\n",
         "line 3 is 98302 bytes long; no path is longer than 98301 bytes"},
        {"a pls name past the longest path", PlaylistKind::Pls,
         "[playlist]\nFile1=" + std::string(LongestPathBytes + 1, 'a') + "\n",
         "line 2 is 98302 bytes long; no path is longer than 98301 bytes"},
        {"the same pls entry twice", PlaylistKind::Pls, "[playlist]\nFile1=a.mp3\nFile2=b.mp3\nfile01=c.mp3\n",
         "line 4 repeats File1 of line 2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        Names names = {"left alone"};
        std::string error;
        EXPECT_FALSE(parsePlaylist(c.kind, c.bytes, names, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(names, Names{"left alone"});
    }
}

// The playlist reader: which lines are entries, in what order, with which
// bytes, which files are UTF-8 text and what their names decode to, and
// which files are refused with what one-line reason. Non-ASCII letters are
// written as escapes, so the tests do not depend on the compiler's charset.
#include "playlistFile.h"

#include <gtest/gtest.h>

using Names = std::vector<std::string>;
using WideNames = std::vector<std::wstring>;

TEST(PlaylistFile, KindFollowsTheExtensionInAnyCase)
{
    const struct {
        const char *path;
        bool known;
        PlaylistKind kind;
        bool utf8;
    } cases[] = {
        {"C:\\Music\\mix.m3u", true, PlaylistKind::Lines, false},
        {"mix.M3U8", true, PlaylistKind::Lines, true},
        {"Z:/lists/old.Pls", true, PlaylistKind::Pls, false},
        {"mix.m3u.txt", false, PlaylistKind::Lines, false},
        {"C:\\lists.pls\\mix", false, PlaylistKind::Lines, false},
        {"mix.m3", false, PlaylistKind::Lines, false},
        {"m3u", false, PlaylistKind::Lines, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        PlaylistKind kind = c.kind == PlaylistKind::Lines ? PlaylistKind::Pls : PlaylistKind::Lines;
        bool utf8 = !c.utf8;
        ASSERT_EQ(playlistKindOf(c.path, kind, utf8), c.known);
        if (c.known) {
            EXPECT_EQ(kind, c.kind);
            EXPECT_EQ(utf8, c.utf8);
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
        Playlist playlist;
        std::string error;
        EXPECT_TRUE(parsePlaylist(c.kind, false, c.bytes, playlist, error)) << error;
        EXPECT_EQ(playlist.names, c.names);
        // Only a byte order mark makes these UTF-8 text.
        EXPECT_EQ(playlist.utf8, c.bytes.compare(0, 3, "\xEF\xBB\xBF") == 0);
    }
}

// The pair that a Western code page cannot tell apart: four seasons, spring and summer.
#define SEASONS u8"D:\\Music\\\u56db\u5b63\\01 - "
#define WIDE_SEASONS L"D:\\Music\\\u56db\u5b63\\01 - "

TEST(PlaylistFile, Utf8TextIsDecodedAndOtherTextIsNot)
{
    const struct {
        const char *title;
        PlaylistKind kind;
        bool utf8ByName; // a .m3u8
        std::string bytes;
        Names names;
        bool utf8;
        WideNames wideNames;
    } cases[] = {
        {"m3u8 without a mark", PlaylistKind::Lines, true,
         "#EXTM3U\n" SEASONS u8"\u6625.mp3\n" SEASONS u8"\u590f.mp3\n",
         {SEASONS u8"\u6625.mp3", SEASONS u8"\u590f.mp3"}, true,
         {WIDE_SEASONS L"\u6625.mp3", WIDE_SEASONS L"\u590f.mp3"}},
        {"m3u8 with a mark; every length of sequence, an emoji as a surrogate pair", PlaylistKind::Lines, true,
         "\xEF\xBB\xBF" u8"a\u00e9\u0394\u0416\u20ac\U0001F3B5.mp3\r\n",
         {u8"a\u00e9\u0394\u0416\u20ac\U0001F3B5.mp3"}, true,
         {L"a\u00e9\u0394\u0416\u20ac\xD83C\xDFB5.mp3"}},
        {"m3u with a mark is UTF-8 too", PlaylistKind::Lines, false, "\xEF\xBB\xBF" u8"C:\\M\u00fasica\\a.mp3\n",
         {u8"C:\\M\u00fasica\\a.mp3"}, true, {L"C:\\M\u00fasica\\a.mp3"}},
        {"pls with a mark, in the order of N", PlaylistKind::Pls, false,
         "\xEF\xBB\xBF[playlist]\nFile2=" SEASONS u8"\u590f.mp3\nFile1=" SEASONS u8"\u6625.mp3\n",
         {SEASONS u8"\u6625.mp3", SEASONS u8"\u590f.mp3"}, true,
         {WIDE_SEASONS L"\u6625.mp3", WIDE_SEASONS L"\u590f.mp3"}},
        {"m3u without a mark stays bytes, even bytes that are no UTF-8", PlaylistKind::Lines, false,
         SEASONS u8"\u6625.mp3\nC:\\Caf\xE9.mp3\n", {SEASONS u8"\u6625.mp3", "C:\\Caf\xE9.mp3"}, false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        Playlist playlist;
        std::string error;
        EXPECT_TRUE(parsePlaylist(c.kind, c.utf8ByName, c.bytes, playlist, error)) << error;
        EXPECT_EQ(playlist.names, c.names);
        EXPECT_EQ(playlist.utf8, c.utf8);
        EXPECT_EQ(playlist.wideNames, c.wideNames);
    }
}

TEST(PlaylistFile, DecodesUtf8StrictlyAtEveryBoundary)
{
    const struct {
        const char *title;
        std::string bytes;
        bool valid;
        std::wstring wide;
    } cases[] = {
        {"empty", "", true, L""},
        {"last of one byte, first of two", "\x7F\xC2\x80", true, L"\x7F\x80"},
        {"last of two bytes, first of three", "\xDF\xBF\xE0\xA0\x80", true, L"\x7FF\x800"},
        {"right below and above the surrogates", "\xED\x9F\xBF\xEE\x80\x80", true, L"\xD7FF\xE000"},
        {"last of three bytes, first of four", "\xEF\xBF\xBF\xF0\x90\x80\x80", true, L"\xFFFF\xD800\xDC00"},
        {"the last value", "\xF4\x8F\xBF\xBF", true, L"\xDBFF\xDFFF"},
        {"a continuation byte alone", "a\x80", false, L""},
        {"a lead byte without its continuation", "\xE6\x98.mp3", false, L""},
        {"a lead byte at the very end", "a\xC3", false, L""},
        {"overlong two bytes", "\xC0\xAF", false, L""},
        {"overlong three bytes", "\xE0\x9F\xBF", false, L""},
        {"overlong four bytes", "\xF0\x8F\xBF\xBF", false, L""},
        {"an encoded surrogate", "\xED\xA0\x80", false, L""},
        {"past U+10FFFF", "\xF4\x90\x80\x80", false, L""},
        {"a byte that never starts a sequence", "\xF8\x88\x80\x80\x80", false, L""},
        {"code page 1252 text", "Caf\xE9.mp3", false, L""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        std::wstring wide = L"left alone";
        EXPECT_EQ(decodeUtf8(c.bytes, wide), c.valid);
        EXPECT_EQ(wide, c.valid ? c.wide : L"left alone");
    }
}

TEST(PlaylistFile, RefusesWhatCannotBeAPlaylistOfPaths)
{
    const struct {
        const char *title;
        PlaylistKind kind;
        std::string bytes;
        std::string error;
        bool utf8 = false; // a .m3u8
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
        {"code page text in a m3u8", PlaylistKind::Lines, "#EXTM3U\nC:\\a.mp3\nC:\\Caf\xE9.mp3\n",
         "line 3 is not valid UTF-8", true},
        {"a cut sequence after a mark", PlaylistKind::Lines, "\xEF\xBB\xBF" "C:\\a.mp3\r\nC:\\\xE6\x98.mp3\r\n",
         "line 2 is not valid UTF-8"},
        {"a bad pls name after a mark, named by its own line", PlaylistKind::Pls,
         "\xEF\xBB\xBF[playlist]\nFile2=b.mp3\nFile1=\xC0\xAF.mp3\n", "line 3 is not valid UTF-8"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        Playlist playlist;
        playlist.names = {"left alone"};
        std::string error;
        EXPECT_FALSE(parsePlaylist(c.kind, c.utf8, c.bytes, playlist, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(playlist.names, Names{"left alone"});
    }
}

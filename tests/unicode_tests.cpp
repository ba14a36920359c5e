// The simulated player in Unicode mode: it keeps its names as UTF-16 and
// hands each over in the ANSI code page (1252 under Wine here), as the player
// does, so letters that page lacks arrive as '?'. The plug-in module is
// loaded as the host loads it and swept by real timer ticks. Distinct names
// that the code page cannot tell apart must both stay; names that convert
// without loss still fold and match. Non-ASCII letters are written as
// escapes, so the tests do not depend on the compiler's charset.
#include "hostSimulator.h"
#include "pluginLoader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

using WideNames = std::vector<std::wstring>;

const DWORD TickDeadlineMs = 15000; // ticks are due every 10 ms; a loaded machine may be slow

// Four seasons, spring and summer: both read D:\Music\??\01 - ?.mp3 in code page 1252.
#define SEASONS L"D:\\Music\\\u56db\u5b63\\01 - "
#define SPRING L"\u6625"
#define SUMMER L"\u590f"

class UnicodeHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(GetACP(), 1252u) << "these cases are written for code page 1252, Wine's with the C locale";
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        iniPath = std::string(folder) + "zanq-unicode-" + std::to_string(GetCurrentProcessId()) + ".ini";
        // Period 0: the system's shortest interval, so that each case waits for a tick only briefly.
        WritePrivateProfileStringA("Kestwyn", "Enabled", "1", iniPath.c_str());
        WritePrivateProfileStringA("Kestwyn", "Period", "0", iniPath.c_str());
        host.settingsPathText = iniPath;
        host.unicodeNames = true;
        plugin = loadPlugin(pluginPathBesideProgram(), host.hostWindow());
        ASSERT_NE(plugin.module, nullptr) << pluginPathBesideProgram();
        plugin.header->init();
    }

    void TearDown() override
    {
        if (plugin.module) {
            plugin.header->quit();
            unloadPlugin(plugin);
        }
        DeleteFileA(iniPath.c_str());
    }

    // Hands the host `names` and lets one timer tick sweep them from entry 0.
    void sweep(const WideNames &names)
    {
        host.widePlaylist = names;
        host.currentIndex = 0;
        host.requests.clear();
        ASSERT_EQ(pumpTimerTicks(host.hostWindow(), 1611, 1, TickDeadlineMs), 1) << "no timer tick arrived";
        // The tick's sweep ran within its dispatch: it began with request 260.
        ASSERT_FALSE(host.requests.empty());
        EXPECT_EQ(host.requests.front().code, 260u);
    }

    // What 211 hands over for entry `index` of the host's list.
    std::string answerTo211(int index)
    {
        LRESULT answer = SendMessageA(host.hostWindow(), WM_USER, index, 211);
        return answer ? reinterpret_cast<const char *>(answer) : "(null)";
    }

    HostSimulator host;
    LoadedPlugin plugin;
    std::string iniPath;
};

TEST_F(UnicodeHost, NamesReachThePluginInTheCodePageAsThePlayerHandsThemOver)
{
    const struct {
        const wchar_t *name;
        std::string text;
        bool lossy;
    } cases[] = {
        {SEASONS SPRING L".mp3", "D:\\Music\\??\\01 - ?.mp3", true},
        {SEASONS SUMMER L".mp3", "D:\\Music\\??\\01 - ?.mp3", true},
        {L"C:\\M\u00fasica\\a.mp3", "C:\\M\xFAsica\\a.mp3", false},
        {L"\U0001F3B5.mp3", "??.mp3", true}, // one '?' for each half of the surrogate pair
        {L"http://host/listen?id=3", "http://host/listen?id=3", false},
    };
    for (const auto &c : cases)
        host.widePlaylist.push_back(c.name);
    for (size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(cases[k].text);
        bool lossy = !cases[k].lossy;
        EXPECT_EQ(ansiName(cases[k].name, &lossy), cases[k].text);
        EXPECT_EQ(lossy, cases[k].lossy);
        EXPECT_EQ(answerTo211(static_cast<int>(k)), cases[k].text);
    }
    EXPECT_EQ(answerTo211(static_cast<int>(std::size(cases))), "(null)");
}

TEST_F(UnicodeHost, NamesTheCodePageCannotSpellAreNeverTakenForRepeats)
{
    const struct {
        const char *title;
        WideNames names;
        std::vector<int> remaining; // indices into names
    } cases[] = {
        {"the pair that both read D:\\Music\\??\\01 - ?.mp3", {SEASONS SPRING L".mp3", SEASONS SUMMER L".mp3"}, {0, 1}},
        {"Greek: two albums that both read C:\\???s???\\????.mp3",
         {L"C:\\\u039c\u03bf\u03c5\u03c3\u03b9\u03ba\u03ae\\\u0389\u03c7\u03bf\u03b9.mp3",
          L"C:\\\u039c\u03bf\u03c5\u03c3\u03b9\u03ba\u03ae\\\u039b\u03cd\u03ba\u03b7.mp3"},
         {0, 1}},
        {"Cyrillic: summer and winter, both ????.mp3",
         {L"C:\\\u041c\u0443\u0437\u044b\u043a\u0430\\\u041b\u0435\u0442\u043e.mp3",
          L"C:\\\u041c\u0443\u0437\u044b\u043a\u0430\\\u0417\u0438\u043c\u0430.mp3"},
         {0, 1}},
        {"emoji, both ??.mp3", {L"C:\\Icons\\\U0001F3B5.mp3", L"C:\\Icons\\\U0001F3B6.mp3"}, {0, 1}},
        {"a mix: the clean repeat goes, the lossy pair stays",
         {L"D:\\Mix\\Caf\u00e9.mp3", L"D:\\Mix\\Caf" SPRING L".mp3", L"d:\\MIX\\CAF\u00e9.MP3",
          L"D:\\Mix\\Caf" SUMMER L".mp3"},
         {0, 1, 3}},
        {"the very same lossy name twice: both stay, the price of the rule",
         {SEASONS SPRING L".mp3", SEASONS SPRING L".mp3"},
         {0, 1}},
        {"lossless: u acute and U acute differ, so both stay",
         {L"C:\\M\u00fasica\\a.mp3", L"c:\\M\u00daSICA\\A.MP3"},
         {0, 1}},
        {"lossless: the same plain name twice, one goes", {L"C:\\Musica\\a.mp3", L"C:\\Musica\\a.mp3"}, {0}},
        {"lossless: A-Z still fold around letters of the code page",
         {L"C:\\M\u00fasica\\a.mp3", L"c:\\m\u00fasICA\\A.MP3"},
         {0}},
        {"long-path prefix: its own ? does not count, the rest folds", {L"\\\\?\\C:\\a.mp3", L"\\\\?\\c:\\A.MP3"}, {0}},
        {"long-path prefix: a lost letter after it still counts",
         {L"\\\\?\\D:\\\u56db\u5b63\\" SPRING L".mp3", L"\\\\?\\D:\\\u56db\u5b63\\" SUMMER L".mp3"},
         {0, 1}},
        // Where the system knows a look-alike it writes that instead of '?': r with caron becomes r.
        {"known limit, best fit: Dvorak with r caron and with plain r read the same, and one goes",
         {L"C:\\Dvo\u0159\u00e1k\\a.mp3", L"C:\\Dvor\u00e1k\\a.mp3"},
         {0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        sweep(c.names);
        WideNames remaining;
        for (int k : c.remaining)
            remaining.push_back(c.names[k]);
        EXPECT_EQ(host.widePlaylist, remaining);
    }
}

// The lost letter lands on every place of a word (4 bytes in the shipped
// module, 8 in the x86_64 one) and as the name's last byte, right before its NUL.
TEST_F(UnicodeHost, ALostLetterAtEveryPlaceInAWord)
{
    WideNames names;
    for (size_t pad = 0; pad < 16; ++pad) {
        std::wstring head = std::wstring(pad, L'p') + L"\\";
        names.push_back(head + SPRING L"\\a.mp3");
        names.push_back(head + SUMMER L"\\a.mp3");
        names.push_back(head + SPRING);
        names.push_back(head + SUMMER);
    }
    sweep(names);
    EXPECT_EQ(host.widePlaylist, names);
    EXPECT_EQ(host.removals(), std::vector<int>{});
}

// The host's text may start at any address, and be followed, within the word
// that holds its NUL, by what an earlier and longer answer left there, '?' of
// a lost letter included. Only the name's own bytes count.
static WNDPROC simulatedHostProc;
static char leftovers[16 + 16 + 300];
static size_t placeAt; // 0..15: where in leftovers the answers start, past 16 bytes of '?'

static LRESULT CALLBACK answerAmidLeftovers(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = CallWindowProcA(simulatedHostProc, window, message, wParam, lParam);
    if (message != WM_USER || lParam != 211 || answer == 0)
        return answer;
    const char *name = reinterpret_cast<const char *>(answer);
    std::memset(leftovers, '?', sizeof leftovers);
    char *moved = leftovers + 16 + placeAt;
    std::memcpy(moved, name, std::strlen(name) + 1);
    return reinterpret_cast<LRESULT>(moved);
}

// Puts answerAmidLeftovers in front of the host for one scope, whatever fails inside it.
struct LeftoversInFront {
    explicit LeftoversInFront(HWND window) : window(window)
    {
        simulatedHostProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(answerAmidLeftovers)));
    }
    ~LeftoversInFront() { SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(simulatedHostProc)); }
    HWND window;
};

TEST_F(UnicodeHost, HostTextAtEveryAlignmentAmidLeftoverQuestionMarks)
{
    LeftoversInFront inFront(host.hostWindow());
    WideNames names, kept;
    // Case variants of names of every length near a word or two: the second goes.
    for (size_t length = 1; length <= 17; ++length) {
        std::wstring name = std::wstring(length - 1, L'a') + L"\u00e9";
        names.push_back(name);
        names.push_back(std::wstring(length - 1, L'A') + L"\u00e9");
        kept.push_back(name);
    }
    // A lost letter in each of the first 9 places, so in the bytes before the first whole word too: both stay.
    for (size_t place = 0; place < 9; ++place) {
        for (const wchar_t *letter : {SPRING, SUMMER}) {
            names.push_back(std::wstring(place, L'a') + letter + L".mp3");
            kept.push_back(names.back());
        }
    }
    for (placeAt = 0; placeAt < 16; ++placeAt) {
        SCOPED_TRACE("answers " + std::to_string(placeAt) + " bytes into the block");
        sweep(names);
        EXPECT_EQ(host.widePlaylist, kept);
    }
}

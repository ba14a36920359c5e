// The plug-in module as the host drives it: loaded from its file, its header
// read, then init, config and quit on a real message loop with real timers,
// a real modal dialog and real profile files. The platform calls the module
// makes are logged by rewriting its import table, each passed on unchanged.
#include "hostSimulator.h"
#include "importHook.h"
#include "pluginLoader.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

static std::vector<std::string> platformLog;
static decltype(&SetTimer) realSetTimer;
static decltype(&KillTimer) realKillTimer;
static decltype(&DialogBoxParamA) realDialogBoxParamA;

static std::string handleText(const void *handle)
{
    char text[32];
    wsprintfA(text, "%p", handle);
    return text;
}

static UINT_PTR WINAPI logSetTimer(HWND window, UINT_PTR id, UINT interval, TIMERPROC callback)
{
    platformLog.push_back("SetTimer " + handleText(window) + " " + std::to_string(id) + " " +
                          std::to_string(interval));
    return realSetTimer(window, id, interval, callback);
}

static BOOL WINAPI logKillTimer(HWND window, UINT_PTR id)
{
    platformLog.push_back("KillTimer " + handleText(window) + " " + std::to_string(id));
    return realKillTimer(window, id);
}

static INT_PTR WINAPI logDialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param)
{
    platformLog.push_back("DialogBoxParamA " + handleText(instance) + " " +
                          std::to_string(reinterpret_cast<ULONG_PTR>(name)) + " " + handleText(owner) + " " +
                          std::to_string(param));
    INT_PTR result = realDialogBoxParamA(instance, name, owner, proc, param);
    platformLog.push_back("dialog closed");
    return result;
}

// What a person does in the dialog, run from inside its modal loop once it shows.
static std::function<void(HWND)> dialogAction;

static void CALLBACK lookForDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowA("#32770", "Kestwyn");
    if (!dialog || !dialogAction)
        return;
    KillTimer(nullptr, timer);
    auto action = dialogAction;
    dialogAction = nullptr;
    action(dialog);
}

static void closeWithOk(HWND dialog)
{
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

class PluginLifecycle : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        iniPath = std::string(folder) + "zanq-lifecycle-" + std::to_string(GetCurrentProcessId()) + ".ini";
        DeleteFileA(iniPath.c_str());
        WritePrivateProfileStringA("Other", "Keep", "yes", iniPath.c_str());
        host.settingsPathText = iniPath;
        platformLog.clear();
    }

    void TearDown() override
    {
        if (plugin.module)
            unload();
        DeleteFileA(iniPath.c_str());
    }

    void writeSetting(const char *key, const char *value)
    {
        WritePrivateProfileStringA("Kestwyn", key, value, iniPath.c_str());
    }

    std::string readSetting(const char *key)
    {
        char value[64];
        GetPrivateProfileStringA("Kestwyn", key, "(absent)", value, sizeof value, iniPath.c_str());
        return value;
    }

    void load()
    {
        plugin = loadPlugin(pluginPathBesideProgram(), host.hostWindow());
        ASSERT_NE(plugin.module, nullptr) << pluginPathBesideProgram();
        hooks.reset(new PlatformLogHooks(plugin.module));
        realSetTimer = hooks->setTimer.previous<decltype(&SetTimer)>();
        realKillTimer = hooks->killTimer.previous<decltype(&KillTimer)>();
        realDialogBoxParamA = hooks->dialogBoxParamA.previous<decltype(&DialogBoxParamA)>();
        ASSERT_TRUE(realSetTimer && realKillTimer && realDialogBoxParamA);
    }

    // The hooks live in the module's own import table: they go first.
    void unload()
    {
        hooks.reset();
        unloadPlugin(plugin);
    }

    // Opens the dialog through config, lets `action` work it, and returns when config does.
    void configure(std::function<void(HWND)> action)
    {
        dialogAction = std::move(action);
        SetTimer(nullptr, 0, 50, lookForDialog);
        plugin.header->config();
        ASSERT_FALSE(dialogAction) << "the dialog never showed";
    }

    std::string set(unsigned interval) const
    {
        return "SetTimer " + handleText(host.hostWindow()) + " 1611 " + std::to_string(interval);
    }
    std::string kill() const { return "KillTimer " + handleText(host.hostWindow()) + " 1611"; }
    std::string dialog() const
    {
        return "DialogBoxParamA " + handleText(plugin.module) + " 101 " + handleText(host.hostWindow()) + " 0";
    }

    // The module's platform calls go through the log while a test runs.
    struct PlatformLogHooks {
        explicit PlatformLogHooks(HMODULE module)
            : setTimer(module, "user32.dll", "SetTimer", reinterpret_cast<void *>(logSetTimer)),
              killTimer(module, "user32.dll", "KillTimer", reinterpret_cast<void *>(logKillTimer)),
              dialogBoxParamA(module, "user32.dll", "DialogBoxParamA", reinterpret_cast<void *>(logDialogBoxParamA))
        {
        }
        ScopedImportHook setTimer, killTimer, dialogBoxParamA;
    };

    HostSimulator host;
    LoadedPlugin plugin;
    std::unique_ptr<PlatformLogHooks> hooks;
    std::string iniPath;
};

TEST_F(PluginLifecycle, ExportGivesOneHeaderByNameAndByOrdinal)
{
    HMODULE module = LoadLibraryA(pluginPathBesideProgram());
    ASSERT_NE(module, nullptr);
    using GetHeader = PluginHeaderView *(*)();
    auto byName = reinterpret_cast<GetHeader>(
        reinterpret_cast<void *>(GetProcAddress(module, "winampGetGeneralPurposePlugin")));
    auto byOrdinal = reinterpret_cast<GetHeader>(reinterpret_cast<void *>(GetProcAddress(module, MAKEINTRESOURCEA(1))));
    ASSERT_TRUE(byName && byOrdinal);
    EXPECT_EQ(byName, byOrdinal);
    PluginHeaderView *header = byName();
    EXPECT_EQ(byName(), header);
    EXPECT_EQ(header->version, 0x10);
    EXPECT_STREQ(header->description, "Kestwyn v1.1");
    EXPECT_TRUE(header->init && header->config && header->quit);
    EXPECT_EQ(header->hostWindow, nullptr);
    EXPECT_EQ(header->moduleInstance, nullptr);
    FreeLibrary(module);
}

TEST_F(PluginLifecycle, InitReadsSettingsAndStartsTimer)
{
    writeSetting("Enabled", "1");
    writeSetting("Period", "7");
    load();
    EXPECT_EQ(plugin.header->init(), 0);
    EXPECT_EQ(host.requests, (std::vector<HostRequest>{{host.hostWindow(), 334, 0}}));
    EXPECT_EQ(platformLog, (std::vector<std::string>{set(7000)}));
    plugin.header->quit();
}

TEST_F(PluginLifecycle, ConfigStopsTimerRunsDialogAndRestartsWithNewPeriod)
{
    writeSetting("Period", "60");
    load();
    plugin.header->init();
    platformLog.clear();
    configure([](HWND dialog) {
        SetDlgItemTextA(dialog, 1007, "1");
        closeWithOk(dialog);
    });
    EXPECT_EQ(platformLog, (std::vector<std::string>{kill(), dialog(), "dialog closed", set(1000)}));

    // The restarted timer really runs with the new period.
    host.playlist = {"C:\\a.mp3", "C:\\a.mp3"};
    EXPECT_TRUE(pumpMessagesUntil([&] { return host.playlist.size() == 1; }, 20000));
    plugin.header->quit();
}

TEST_F(PluginLifecycle, ClosingWithSweepingOffStillRestartsTimer)
{
    writeSetting("Enabled", "1");
    writeSetting("Period", "1");
    load();
    plugin.header->init();
    platformLog.clear();
    configure([](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, 1000), BM_CLICK, 0, 0);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(platformLog, (std::vector<std::string>{kill(), dialog(), "dialog closed", set(1000)}));
    host.playlist = {"C:\\a.mp3", "C:\\a.mp3"};
    host.requests.clear();
    ASSERT_EQ(pumpTimerTicks(host.hostWindow(), 1611, 2, 20000), 2);
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(host.playlist.size(), 2u);
    plugin.header->quit();
}

TEST_F(PluginLifecycle, DialogChangesReachFileOnlyAtQuit)
{
    writeSetting("Enabled", "1");
    writeSetting("Period", "60");
    load();
    plugin.header->init();
    configure([](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, 1000), BM_CLICK, 0, 0);
        SetDlgItemTextA(dialog, 1007, "90");
        closeWithOk(dialog);
    });
    EXPECT_EQ(readSetting("Enabled"), "1");
    EXPECT_EQ(readSetting("Period"), "60");

    platformLog.clear();
    plugin.header->quit();
    EXPECT_EQ(platformLog, (std::vector<std::string>{kill()}));
    EXPECT_EQ(readSetting("Enabled"), "0");
    EXPECT_EQ(readSetting("Period"), "90");
    char other[8];
    GetPrivateProfileStringA("Other", "Keep", "", other, sizeof other, iniPath.c_str());
    EXPECT_STREQ(other, "yes");
}

TEST_F(PluginLifecycle, NoTickReachesUnloadedModule)
{
    writeSetting("Period", "1");
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        host.playlist = {"C:\\a.mp3", "C:\\A.MP3"};
        host.requests.clear();
        load();
        plugin.header->init();
        ASSERT_TRUE(pumpMessagesUntil([&] { return host.playlist.size() == 1; }, 20000));
        plugin.header->quit();
        unload();
        EXPECT_EQ(readSetting("Period"), "1");
    }
    // A timer left behind would call into freed code and end this process.
    host.playlist = {"C:\\a.mp3", "C:\\A.MP3"};
    host.requests.clear();
    pumpMessagesFor(2500);
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(host.playlist.size(), 2u);
}

TEST_F(PluginLifecycle, HandlesAreReadFromHeaderAtEachCall)
{
    writeSetting("Period", "60");
    load();
    plugin.header->init();
    HostSimulator otherHost;
    HMODULE otherModule = GetModuleHandleA(nullptr); // this program carries template 101 too
    plugin.header->hostWindow = otherHost.hostWindow();
    plugin.header->moduleInstance = otherModule;
    platformLog.clear();
    configure(closeWithOk);
    plugin.header->quit();
    std::string other = handleText(otherHost.hostWindow());
    EXPECT_EQ(platformLog, (std::vector<std::string>{
                               "KillTimer " + other + " 1611",
                               "DialogBoxParamA " + handleText(otherModule) + " 101 " + other + " 0",
                               "dialog closed",
                               "SetTimer " + other + " 1611 60000",
                               "KillTimer " + other + " 1611",
                           }));
}

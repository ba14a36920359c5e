// The configuration dialog, run for real: DialogBoxParamA with template 101
// from this program's own resources, owned by a simulated host window, under
// Wine on a virtual display. A thread timer fires inside the dialog's modal
// loop and drives it step by step, as a person would: key presses and mouse
// clicks go in through SendInput (Wine routes them to the focused window and
// to the window under the pointer), and window messages are used only where
// the text says so. Each step waits for the state it needs, with a generous
// deadline, and never for a length of time.
#include "hostSimulator.h"
#include "resources/resourceIds.h"
#include "settings/configDialog.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

static const DWORD StepDeadlineMs = 10000;

// One step: called at every tick until it reports that it is done.
using Step = std::function<bool()>;

static std::string windowText(HWND window)
{
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Real input ----------------------------------------------------------------

static void sendKey(WORD key, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

static void pressKey(WORD key)
{
    sendKey(key, false);
    sendKey(key, true);
}

// Digits and small letters need no shift on the virtual display's US keyboard.
static void typeText(const char *text)
{
    for (const char *c = text; *c; ++c)
        pressKey(LOBYTE(VkKeyScanA(*c)));
}

static void clickAt(POINT point)
{
    // Absolute moves are in 1/65535ths of the screen; aim at the pixel's centre.
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT inputs[3] = {};
    for (INPUT &input : inputs)
        input.type = INPUT_MOUSE;
    inputs[0].mi.dx = (point.x * 65535 + 32767) / (width - 1);
    inputs[0].mi.dy = (point.y * 65535 + 32767) / (height - 1);
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(3, inputs, sizeof inputs[0]);
}

static POINT centreOf(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The close box wherever the platform draws it: the middle of the run of
// caption points that the dialog itself reports as HTCLOSE.
static bool closeBoxPoint(HWND dialog, POINT &point)
{
    RECT r;
    GetWindowRect(dialog, &r);
    for (int y = r.top; y < r.top + 60 && y < r.bottom; ++y) {
        int first = -1, last = -1;
        for (int x = r.right - 1; x >= r.left; --x) {
            if (SendMessageA(dialog, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) {
                last = last < 0 ? x : last;
                first = x;
            } else if (last >= 0) {
                break;
            }
        }
        if (last >= 0) {
            point = {(first + last) / 2, y + 3};
            return SendMessageA(dialog, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y)) == HTCLOSE;
        }
    }
    return false;
}

// The driver ----------------------------------------------------------------

class ConfigDialog : public ::testing::Test {
protected:
    void SetUp() override { settings() = {1, 60, nullptr}; }
    void TearDown() override { settings() = {1, 60, nullptr}; }

    // Opens the dialog and runs the steps inside its modal loop; the last step
    // is expected to close it. Returns when the dialog has ended.
    void runDialog(std::vector<Step> steps)
    {
        steps_ = std::move(steps);
        next_ = 0;
        timedOut_ = false;
        dialog = nullptr;
        stepStart_ = GetTickCount();
        active_ = this;
        UINT_PTR timer = SetTimer(nullptr, 0, 20, onTick);
        runConfigDialog(GetModuleHandleA(nullptr), host.hostWindow());
        KillTimer(nullptr, timer);
        active_ = nullptr;
        EXPECT_NE(dialog, nullptr) << "the dialog never opened";
        if (!timedOut_) {
            EXPECT_EQ(next_, steps_.size()) << "the dialog ended before all steps were done";
        }
        EXPECT_FALSE(IsWindow(dialog)) << "the dialog still exists after it ended";
    }

    HWND item(int id) const { return GetDlgItem(dialog, id); }

    // Step builders.
    Step when(std::function<bool()> ready, std::function<void()> act)
    {
        return [=] {
            if (!ready())
                return false;
            act();
            return true;
        };
    }
    Step then(std::function<void()> act) { return when([] { return true; }, act); }
    Step waitFor(std::function<bool()> ready) { return ready; }

    // Tab moves the focus through the tab stops; arriving in the field by Tab
    // selects its whole text, as it does for a person.
    Step tabToField()
    {
        auto pressedAt = std::make_shared<HWND>(nullptr);
        auto pressed = std::make_shared<bool>(false);
        return [=] {
            HWND focus = GetFocus();
            if (focus == item(IDC_PERIOD))
                return true;
            if (!*pressed || focus != *pressedAt) {
                *pressedAt = focus;
                *pressed = true;
                pressKey(VK_TAB);
            }
            return false;
        };
    }

    Step clickCloseBox()
    {
        return then([=] {
            POINT point;
            ASSERT_TRUE(closeBoxPoint(dialog, point)) << "no close box on the caption";
            clickAt(point);
        });
    }

    HostSimulator host;
    HWND dialog = nullptr;

private:
    static BOOL CALLBACK findDialog(HWND window, LPARAM self)
    {
        auto *test = reinterpret_cast<ConfigDialog *>(self);
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (std::string(className) == "#32770" && GetWindow(window, GW_OWNER) == test->host.hostWindow()) {
            test->dialog = window;
            return FALSE;
        }
        return TRUE;
    }

    // Input is sent only once the dialog is shown and holds the keyboard.
    bool dialogReady()
    {
        if (!dialog)
            EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(this));
        return dialog && IsWindowVisible(dialog) && GetForegroundWindow() == dialog && GetFocus() != nullptr &&
               IsChild(dialog, GetFocus());
    }

    void tick()
    {
        if (timedOut_ || (next_ == 0 && !dialogReady())) {
            // Nothing to do until the dialog shows, nor after giving up.
        } else if (next_ < steps_.size()) {
            if (steps_[next_]()) {
                ++next_;
                stepStart_ = GetTickCount();
            }
        }
        if (!timedOut_ && GetTickCount() - stepStart_ > StepDeadlineMs) {
            timedOut_ = true;
            ADD_FAILURE() << (next_ < steps_.size() ? "step " + std::to_string(next_ + 1) + " never became ready"
                                                    : std::string("the dialog did not close after the last step"));
            if (dialog)
                EndDialog(dialog, 0);
        }
    }

    static void CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD)
    {
        if (active_)
            active_->tick();
    }

    static ConfigDialog *active_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    DWORD stepStart_ = 0;
    bool timedOut_ = false;
};

ConfigDialog *ConfigDialog::active_ = nullptr;

static void dialogShows(HWND dialog, bool ticked, bool periodControlsEnabled, const std::string &field)
{
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_ENABLED), ticked ? BST_CHECKED : BST_UNCHECKED);
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, IDC_PERIOD)) != 0, periodControlsEnabled);
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, IDC_SECONDS)) != 0, periodControlsEnabled);
    EXPECT_EQ(windowText(GetDlgItem(dialog, IDC_PERIOD)), field);
}

// The tests -------------------------------------------------------------------

TEST_F(ConfigDialog, OpensShowingTheSettings)
{
    const struct {
        int enabled;
        unsigned period;
        bool ticked; // also: field and label enabled
        const char *field;
    } cases[] = {
        {1, 60, true, "60"},
        {7, 300, true, "300"},
        {0, 45, false, "45"},
        {1, 4294967295u, true, "4294967295"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.enabled);
        settings().enabled = c.enabled;
        settings().period = c.period;
        runDialog({
            then([&] {
                EXPECT_EQ(windowText(dialog), "Kestwyn");
                dialogShows(dialog, c.ticked, c.ticked, c.field);
                EXPECT_TRUE(IsWindowEnabled(item(IDOK)));
                pressKey(VK_ESCAPE);
            }),
        });
        EXPECT_EQ(settings().enabled, c.enabled);
        EXPECT_EQ(settings().period, c.period);
    }
}

TEST_F(ConfigDialog, ClickingTheBoxFlipsEnabledAtOnceAndGreysThePeriod)
{
    settings().enabled = 7;
    settings().period = 30;
    runDialog({
        then([&] { clickAt(centreOf(item(IDC_ENABLED))); }),
        when([] { return settings().enabled == 0; },
             [&] {
                 dialogShows(dialog, false, false, "30");
                 clickAt(centreOf(item(IDC_ENABLED)));
             }),
        when([] { return settings().enabled == 1; },
             [&] {
                 dialogShows(dialog, true, true, "30");
                 pressKey(VK_ESCAPE);
             }),
    });
    EXPECT_EQ(settings().enabled, 1);
    EXPECT_EQ(settings().period, 30u);
}

TEST_F(ConfigDialog, EveryWayOfClosingStoresTheFieldsNumber)
{
    const struct {
        const char *name;
        std::function<Step()> close;
    } closers[] = {
        {"OK clicked", [this] { return then([this] { clickAt(centreOf(item(IDOK))); }); }},
        {"Enter", [this] { return then([] { pressKey(VK_RETURN); }); }},
        {"Esc", [this] { return then([] { pressKey(VK_ESCAPE); }); }},
        {"close box clicked", [this] { return clickCloseBox(); }},
    };
    for (const auto &c : closers) {
        SCOPED_TRACE(c.name);
        settings().period = 60;
        runDialog({
            tabToField(),
            then([] { typeText("1234"); }),
            // The period itself changes only when the dialog closes.
            waitFor([&] { return windowText(item(IDC_PERIOD)) == "1234" && settings().period == 60; }),
            c.close(),
        });
        EXPECT_EQ(settings().period, 1234u);
        EXPECT_EQ(settings().enabled, 1);
    }
}

TEST_F(ConfigDialog, FieldTakesDigitsOnlyAndAnEmptyFieldStoresZero)
{
    const struct {
        const char *name;
        std::function<void()> edit; // with the whole text selected
        const char *shown;
        unsigned stored;
    } cases[] = {
        {"letters refused", [] { typeText("4a2"); }, "42", 42},
        {"emptied", [] { pressKey(VK_DELETE); }, "", 0},
        {"leading zeros", [] { typeText("007"); }, "007", 7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        settings().period = 60;
        runDialog({
            tabToField(),
            then(c.edit),
            // The last key of each edit leaves this text, whatever came before it.
            when([&] { return windowText(item(IDC_PERIOD)) == c.shown; }, [] { pressKey(VK_RETURN); }),
        });
        EXPECT_EQ(settings().period, c.stored);
    }
}

TEST_F(ConfigDialog, GreyedFieldIsStillReadAtClose)
{
    settings().enabled = 0;
    settings().period = 60;
    runDialog({
        // A greyed field takes no typing, so a message puts the text in it.
        then([&] { SetWindowTextA(item(IDC_PERIOD), "25"); }),
        when([&] { return !IsWindowEnabled(item(IDC_PERIOD)); }, [&] { clickAt(centreOf(item(IDOK))); }),
    });
    EXPECT_EQ(settings().period, 25u);
    EXPECT_EQ(settings().enabled, 0);
}

// Window messages, and direct calls of the dialog procedure.
TEST_F(ConfigDialog, OnlyIdsOneTwoAndTheBoxDoAnything)
{
    settings().enabled = 7;
    settings().period = 30;
    runDialog({
        then([&] {
            // Returning 0 from WM_INITDIALOG asks the platform not to move the
            // focus; Wine moves it anyway, so the value itself is checked.
            EXPECT_EQ(configDialogProc(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(item(IDOK)), 0), 0);
            const WPARAM ignored[] = {MAKEWPARAM(0, 0), MAKEWPARAM(0, BN_CLICKED), MAKEWPARAM(3, 0),
                                      MAKEWPARAM(999, 0), MAKEWPARAM(IDC_PERIOD, EN_CHANGE),
                                      MAKEWPARAM(IDC_SECONDS, 0), MAKEWPARAM(0xFFFF, 0)};
            for (WPARAM command : ignored) {
                SCOPED_TRACE(command);
                EXPECT_EQ(configDialogProc(dialog, WM_COMMAND, command, 0), 0);
                SendMessageA(dialog, WM_COMMAND, command, 0);
                EXPECT_TRUE(IsWindowVisible(dialog));
                EXPECT_EQ(settings().enabled, 7);
                EXPECT_EQ(settings().period, 30u);
                dialogShows(dialog, true, true, "30");
            }
            // The notification code is not looked at: the box's id with any
            // code reads the box, which is still ticked, so 7 becomes 1.
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ENABLED, 0x1234), 0);
            EXPECT_EQ(settings().enabled, 1);
            SetWindowTextA(item(IDC_PERIOD), "31");
            EXPECT_EQ(configDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0x1234), 0), 0);
        }),
    });
    EXPECT_EQ(settings().period, 31u);
}

TEST_F(ConfigDialog, ChangesStayInMemoryAndNothingIsWritten)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string path = std::string(dir) + "zanq_dialog_test.ini";
    DeleteFileA(path.c_str());
    settings().settingsPath = path.c_str();
    runDialog({
        then([&] { clickAt(centreOf(item(IDC_ENABLED))); }),
        waitFor([] { return settings().enabled == 0; }),
        then([&] { SetWindowTextA(item(IDC_PERIOD), "99"); }), // a message: the field is greyed now
        then([] { pressKey(VK_RETURN); }),
    });
    EXPECT_EQ(settings().enabled, 0);
    EXPECT_EQ(settings().period, 99u);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "the dialog wrote " << path;
    DeleteFileA(path.c_str());
}

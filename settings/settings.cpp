// Settings store: section "Kestwyn" of the host's INI file, read once at start
// and written once at stop, "Enabled" before "Period" both ways.
#include "settings.h"
#include "../plugin/hostRequests.h"

static const char SectionName[] = "Kestwyn";
static const char EnabledKey[] = "Enabled";
static const char PeriodKey[] = "Period";
static const char FallbackPath[] = "winamp.ini"; // a bare name lands in the Windows directory

static Settings record = {1, 60, FallbackPath};

Settings &settings()
{
    return record;
}

void loadSettings(HWND hostWindow)
{
    // The host's text lives as long as the plug-in, so it is used in place.
    record.settingsPath = requestSettingsPath(hostWindow);
    if (reinterpret_cast<ULONG_PTR>(record.settingsPath) < 0x10000)
        record.settingsPath = FallbackPath;
    record.enabled = GetPrivateProfileIntA(SectionName, EnabledKey, 1, record.settingsPath);
    record.period = GetPrivateProfileIntA(SectionName, PeriodKey, 60, record.settingsPath);
}

void saveSettings()
{
    char text[32];
    wsprintfA(text, "%d", record.enabled);
    WritePrivateProfileStringA(SectionName, EnabledKey, text, record.settingsPath);
    wsprintfA(text, "%u", record.period);
    WritePrivateProfileStringA(SectionName, PeriodKey, text, record.settingsPath);
}

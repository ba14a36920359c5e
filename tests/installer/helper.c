/* The installer checks' hands inside Wine.
 *
 *   helper.exe hold DLL READYFILE
 *     Stands in for a running player: loads DLL and keeps it loaded until its
 *     standard input reaches end of file (the test closes it, or dies). Once
 *     the DLL is loaded it creates READYFILE, so the test waits for that file
 *     rather than for a fixed time. Exit status 0 after freeing the DLL,
 *     2 when the DLL does not load, 3 when READYFILE cannot be created.
 *
 *   helper.exe run COMMANDLINE
 *     Runs COMMANDLINE exactly as given, as Windows runs a registered
 *     uninstall command, and waits until it and every process it started
 *     have ended. Exit status: that of the program started, 4 when it cannot
 *     be started.
 *
 *   helper.exe find ID TEXT OUTFILE
 *   helper.exe press ID TEXT OUTFILE
 *     Waits, up to a minute, for a button that a user could click: control
 *     ID ID, reading TEXT (ignoring '&'), visible and enabled in a visible,
 *     enabled top-level window. Writes into OUTFILE (UTF-8) that window's
 *     screen rectangle "left top right bottom", its title and the text of
 *     each of its controls, one a line; press then clicks the button.
 *     Exit status 5 when no such button came, 3 when OUTFILE cannot be
 *     written.
 *
 * A wrong command line gives exit status 1. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int hold(const char *dll, const char *readyFile)
{
    HMODULE module = LoadLibraryA(dll);
    if (!module)
        return 2;
    HANDLE ready = CreateFileA(readyFile, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready == INVALID_HANDLE_VALUE)
        return 3;
    CloseHandle(ready);

    char buffer[64];
    DWORD got;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(input, buffer, sizeof buffer, &got, NULL) && got > 0)
        ;
    FreeLibrary(module);
    return 0;
}

/* An uninstaller may hand its work to a copy of itself and return at once;
 * the job holds that copy too, so waiting for the job waits for the work. */
static int run(char *commandLine)
{
    HANDLE job = CreateJobObjectA(NULL, NULL);
    STARTUPINFOA startup = {.cb = sizeof startup};
    PROCESS_INFORMATION process;
    if (!job || !CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL,
                                &startup, &process))
        return 4;
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 4;
    GetExitCodeProcess(process.hProcess, &status);

    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting;
    while (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                     NULL) &&
           accounting.ActiveProcesses > 0)
        Sleep(20);
    return (int)status;
}

typedef struct {
    int id;
    const char *text;
    HWND button;
} ButtonSearch;

/* The text of a window of another process, in UTF-8: WM_GETTEXT crosses
 * processes, where GetWindowText gives no edit control's text. */
static void windowText(HWND window, char *out, int size)
{
    WCHAR wide[2048] = {0};
    DWORD_PTR length;
    SendMessageTimeoutW(window, WM_GETTEXT, 2048, (LPARAM)wide, SMTO_ABORTIFHUNG, 5000, &length);
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, size, NULL, NULL);
}

static void textWithoutAmpersands(HWND window, char *out, int size)
{
    windowText(window, out, size);
    char *to = out;
    for (const char *from = out; *from; ++from)
        if (*from != '&')
            *to++ = *from;
    *to = 0;
}

static BOOL CALLBACK matchButton(HWND child, LPARAM context)
{
    ButtonSearch *search = (ButtonSearch *)context;
    char text[1024];
    /* A modal message box disables its owner: the owner's buttons wait for it. */
    if (GetDlgCtrlID(child) != search->id || !IsWindowVisible(child) || !IsWindowEnabled(child) ||
        !IsWindowEnabled(GetAncestor(child, GA_ROOT)))
        return TRUE;
    textWithoutAmpersands(child, text, sizeof text);
    if (strcmp(text, search->text) != 0)
        return TRUE;
    search->button = child;
    return FALSE;
}

static BOOL CALLBACK searchTopLevel(HWND window, LPARAM context)
{
    ButtonSearch *search = (ButtonSearch *)context;
    if (!IsWindowVisible(window))
        return TRUE;
    EnumChildWindows(window, matchButton, context);
    return search->button == NULL;
}

static BOOL CALLBACK writeControlText(HWND child, LPARAM context)
{
    char text[8192];
    windowText(child, text, sizeof text);
    fprintf((FILE *)context, "%s\n", text);
    return TRUE;
}

static int findWindow(int id, const char *text, const char *outFile, BOOL click)
{
    ButtonSearch search = {id, text, NULL};
    for (int tries = 0; tries < 1200 && !search.button; ++tries) {
        EnumWindows(searchTopLevel, (LPARAM)&search);
        if (!search.button)
            Sleep(50);
    }
    if (!search.button)
        return 5;
    HWND window = GetAncestor(search.button, GA_ROOT);
    FILE *out = fopen(outFile, "w");
    if (!out)
        return 3;
    RECT rect;
    GetWindowRect(window, &rect);
    fprintf(out, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    writeControlText(window, (LPARAM)out);
    EnumChildWindows(window, writeControlText, (LPARAM)out);
    fclose(out);
    if (click)
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)search.button);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "hold") == 0)
        return hold(argv[2], argv[3]);
    if (argc == 3 && strcmp(argv[1], "run") == 0)
        return run(argv[2]);
    if (argc == 5 && (strcmp(argv[1], "find") == 0 || strcmp(argv[1], "press") == 0))
        return findWindow(atoi(argv[2]), argv[3], argv[4], strcmp(argv[1], "press") == 0);
    return 1;
}

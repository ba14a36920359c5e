// Configuration dialog. The box takes effect the moment it is clicked; the
// period is read when the dialog closes, and every way of closing keeps it.
#include "configDialog.h"
#include "settings.h"
#include "../resources/resourceIds.h"

static const char DialogCaption[] = "Kestwyn";

void runConfigDialog(HINSTANCE moduleInstance, HWND ownerWindow)
{
    /* result ignored */ DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_CONFIG), ownerWindow, configDialogProc, 0);
}

void setPeriodControlsEnabled(HWND dialog, int flag)
{
    EnableWindow(GetDlgItem(dialog, IDC_PERIOD), flag != 0);
    EnableWindow(GetDlgItem(dialog, IDC_SECONDS), flag != 0);
}

static void onInitDialog(HWND dialog)
{
    SetWindowTextA(dialog, DialogCaption);
    CheckDlgButton(dialog, IDC_ENABLED, settings().enabled ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemInt(dialog, IDC_PERIOD, settings().period, FALSE);
    setPeriodControlsEnabled(dialog, settings().enabled);
}

static void onClose(HWND dialog)
{
    // Without a success flag, a field that holds no number gives 0.
    settings().period = GetDlgItemInt(dialog, IDC_PERIOD, nullptr, FALSE);
    EndDialog(dialog, 0);
}

static void onEnabledClicked(HWND dialog)
{
    settings().enabled = IsDlgButtonChecked(dialog, IDC_ENABLED) == BST_CHECKED ? 1 : 0;
    setPeriodControlsEnabled(dialog, settings().enabled);
}

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        // Returning 0 leaves the keyboard focus where the platform put it.
        onInitDialog(dialog);
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            onClose(dialog);
            break;
        case IDC_ENABLED:
            onEnabledClicked(dialog);
            break;
        }
        break;
    }
    return 0;
}

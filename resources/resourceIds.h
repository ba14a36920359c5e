// Resource and control ids shared by the resource script and the dialog code.
#pragma once

#define IDD_CONFIG 101
#define IDI_PLUGIN 104
#define IDC_ENABLED 1000
#define IDC_PERIOD 1007
#define IDC_SECONDS 1008

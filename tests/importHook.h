// Redirects one imported function of a loaded module to a replacement, by
// rewriting the module's import address table, so a test can see exactly
// what the plug-in's code passes to the platform.
#pragma once
#include <windows.h>

// Returns the previous target, or null when the module does not import it.
void *hookImport(HMODULE module, const char *dllName, const char *functionName, void *replacement);

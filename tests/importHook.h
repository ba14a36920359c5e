// Redirects one imported function of a loaded module to a replacement, by
// rewriting the module's import address table, so a test can see exactly
// what the plug-in's code passes to the platform.
#pragma once
#include <windows.h>

// Returns the previous target, or null when the module does not import it.
void *hookImport(HMODULE module, const char *dllName, const char *functionName, void *replacement);

// A hook that undoes itself when it goes out of scope, so that a failed
// assertion in one test never leaves the next one talking to a replacement.
// It must go before the module is unloaded.
class ScopedImportHook {
public:
    ScopedImportHook(HMODULE module, const char *dllName, const char *functionName, void *replacement);
    ~ScopedImportHook();
    ScopedImportHook(const ScopedImportHook &) = delete;
    ScopedImportHook &operator=(const ScopedImportHook &) = delete;

    // The function the module called before; null when it does not import it.
    template <class Function>
    Function previous() const
    {
        return reinterpret_cast<Function>(previous_);
    }

private:
    HMODULE module_;
    const char *dllName_;
    const char *functionName_;
    void *previous_;
};

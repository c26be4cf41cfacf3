// The DLL's entry point. Loading turns off the per-thread attach and detach notifications,
// which the library has no use for; there is nothing else to set up or tear down.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH)
        ::DisableThreadLibraryCalls(instance);
    return TRUE;
}

// Library entry. Only Windows calls one: the library declines thread attach and
// detach notifications, since it keeps no per-thread data. Elsewhere loading the
// library runs nothing of its own.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}
#endif

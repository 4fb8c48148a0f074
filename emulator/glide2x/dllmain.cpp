// dllmain.cpp - entry of the emulated board library.
#include <windows.h>

#include "emulator.h"

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    switch (dwReason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(hInstance);
        break;
    case DLL_PROCESS_DETACH:
        GlideDetach();
        DriverDetach();
        break;
    }
    return TRUE;
}

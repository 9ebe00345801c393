#pragma once
// How a port library exports its entry points, as the program looks them up:
// undecorated C names, with the stdcall convention on Windows (the real
// inpout32.dll's), visible from the shared object on Linux.

#if defined(_WIN32)
#define PORT_EXPORT extern "C" __declspec(dllexport)
#define PORT_CALL __stdcall
#else
#define PORT_EXPORT extern "C" __attribute__((visibility("default")))
#define PORT_CALL
#endif

#pragma once
// What a port library is to the program: a shared library (inpout32.dll on
// Windows, libinpout32.so on Linux) whose entry points the program looks up by
// these undecorated C names, with the stdcall convention on Windows (the real
// inpout32.dll's). Only Out32 is required.
//   Out32(address, value)       writes value to the I/O port at address
//   Inp32(address)              optional: what the I/O port at address reads, in
//                               the low eight bits; the real inpout32.dll's own
//                               short __stdcall Inp32(short), which every build of
//                               it has. The drive reads back every value it writes
//   SetSignalBits(xStep, ...)   optional: before the first write, which data-line
//                               bit carries each of the drive's six signals
//   IsInpOutDriverOpen()        optional, Windows: 0 when the library's kernel
//                               driver is not open, so that its Out32 writes nothing
//   PortError()                 optional: why the last Out32 or Inp32 failed, a
//                               German text, or nullptr: they return nothing a
//                               failure could travel in. The ppdev library's, for
//                               a port it cannot claim, write or read
//   SimulatedPortFiles()        optional: the library moves no hardware; where it
//                               writes its signal trace and its picture of the way
//                               when the program ends, a line each, in the system's
//                               code page (as the C library's file names are)
// The simulated port, the ppdev library and the tests' stand-ins export them
// with PORT_EXPORT and PORT_CALL; the hosts call them through the types below.

#if defined(_WIN32)
#define PORT_EXPORT extern "C" __declspec(dllexport)
#define PORT_CALL __stdcall
#else
#define PORT_EXPORT extern "C" __attribute__((visibility("default")))
#define PORT_CALL
#endif

namespace port {

// The data-line bit of each signal, as the program's patterns use them; 0 for
// a pin off the data lines, whose signal never reaches the port. The order of
// the fields is SetSignalBits's order of arguments.
struct SignalBits {
    short xStep = 0, xDir = 0, yStep = 0, yDir = 0, zStep = 0, zDir = 0;
};

constexpr const char* kOut32 = "Out32";
constexpr const char* kInp32 = "Inp32";
constexpr const char* kSetSignalBits = "SetSignalBits";
constexpr const char* kIsInpOutDriverOpen = "IsInpOutDriverOpen";
constexpr const char* kSimulatedPortFiles = "SimulatedPortFiles";
constexpr const char* kPortError = "PortError";

using Out32Function = void(PORT_CALL*)(short address, short value);
using Inp32Function = short(PORT_CALL*)(short address);
using SetSignalBitsFunction = void(PORT_CALL*)(short xStep, short xDir, short yStep, short yDir, short zStep,
                                               short zDir);
using IsInpOutDriverOpenFunction = int(PORT_CALL*)();
using SimulatedPortFilesFunction = const char*(PORT_CALL*)();
using PortErrorFunction = const char*(PORT_CALL*)();

// Hands a library's SetSignalBits the bits in its order of arguments.
inline void TellSignalBits(SetSignalBitsFunction tell, const SignalBits& bits) {
    tell(bits.xStep, bits.xDir, bits.yStep, bits.yDir, bits.zStep, bits.zDir);
}

}  // namespace port

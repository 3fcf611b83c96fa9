// The music library's header is ours on every platform; it declares the
// functions __stdcall for Win32, as the library's own DLL takes them.
#include "../../platform/include/fmod.h"

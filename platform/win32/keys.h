// SDL key codes to the platform's virtual-key codes.
#pragma once

#include <SDL.h>

#include "windows.h"

namespace sombrella::win32 {

// 0 when the key has no virtual-key code.
WPARAM VirtualKeyOf(SDL_Keycode key);

}  // namespace sombrella::win32

// Environment knobs (SOMBRELLA_*) read by the platform layer only.
#pragma once

namespace sombrella::knobs {

// The variable's text, or nullptr when unset or empty.
const char* String(const char* name);
// The variable as a whole number; fallback when unset or not a number.
long Int(const char* name, long fallback);
// True when set to anything but "" or "0".
bool Flag(const char* name);

}  // namespace sombrella::knobs

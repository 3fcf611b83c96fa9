// The retained-mode template block: the same declaration as the seam's, so
// the Windows build registers the very bytes the Linux build does.
#include "../../platform/include/rmxftmpl.h"

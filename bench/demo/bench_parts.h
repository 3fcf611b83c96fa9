#pragma once

namespace bench {

// Prints the cost of the filter down and of the recorder's conversion, each with its peer.
void BenchParts();

}  // namespace bench

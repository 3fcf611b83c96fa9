// Prints the seam's names with the values the headers it was built with give.
#include <cstdio>

void PrintSeam();

int main() {
    PrintSeam();
    return std::fflush(stdout) == 0 ? 0 : 1;
}

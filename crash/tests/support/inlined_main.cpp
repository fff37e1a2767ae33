// A program whose functions inline code from a header: the map must give
// their addresses this file's lines, the lines of the calls. The comments
// "call:<name>" mark the lines the map test expects.
#include "inlined_helpers.h"

volatile int inlinedCell = 3;

__attribute__((noinline)) int inlinedCaller(int n) {
    int sum = 0;
    for (int k = 0; k < n; ++k) {
        sum += inlinedSquare(&inlinedCell); // call:caller-square
        inlinedCell = inlinedCell + k;
    }
    return sum;
}

__attribute__((noinline)) int inlinedNestedCaller(int n) {
    int x = n * 3;
    x += inlinedTwice(&inlinedCell); // call:nested-twice
    return x;
}

int main(int argc, char**) {
    return inlinedCaller(argc) + inlinedNestedCaller(argc) == 12345 ? 1 : 0;
}

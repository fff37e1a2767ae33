// Helpers a header gives its users, always inlined: their code lands in the
// caller's unit with this file's lines.
#pragma once

#define AX_INLINE inline __attribute__((always_inline))

AX_INLINE int inlinedSquare(volatile int* cell) {
    int v = *cell;
    *cell = v * v + 1;
    return *cell;
}

AX_INLINE int inlinedTwice(volatile int* cell) {
    int a = inlinedSquare(cell);
    int b = inlinedSquare(cell);
    return a ^ b;
}

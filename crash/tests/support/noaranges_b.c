/* The second unit of the program without ".debug_aranges". */
/* Kept out of line and out of each other's reach: Clang knows no noipa. */
#if defined(__clang__)
#define KEEP_APART __attribute__((noinline))
#else
#define KEEP_APART __attribute__((noipa))
#endif
KEEP_APART int unit_b_twice(int x)
{
    int r = x;
    for (int k = 0; k < x; ++k)
        r = r * 2 + (k ^ x);
    return r;
}

KEEP_APART int unit_b_third(int x)
{
    return x / 3 + unit_b_twice(x);
}

/* A program of two units built without ".debug_aranges": the map must
   find each unit's code from the units' own debug entries. */
/* Kept out of line and out of each other's reach: Clang knows no noipa. */
#if defined(__clang__)
#define KEEP_APART __attribute__((noinline))
#else
#define KEEP_APART __attribute__((noipa))
#endif
int unit_b_twice(int x);

KEEP_APART int unit_a_sum(int n)
{
    int sum = 0;
    for (int k = 0; k < n; ++k)
        sum += k & 3 ? k : -k;
    return sum;
}

int main(int argc, char** argv)
{
    (void)argv;
    return unit_a_sum(argc) + unit_b_twice(argc) > 1000 ? 1 : 0;
}

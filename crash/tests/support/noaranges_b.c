/* The second unit of the program without ".debug_aranges". */
__attribute__((noipa)) int unit_b_twice(int x)
{
    int r = x;
    for (int k = 0; k < x; ++k)
        r = r * 2 + (k ^ x);
    return r;
}

__attribute__((noipa)) int unit_b_third(int x)
{
    return x / 3 + unit_b_twice(x);
}

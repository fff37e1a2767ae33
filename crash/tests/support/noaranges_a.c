/* A program of two units built without ".debug_aranges": the map must
   find each unit's code from the units' own debug entries. */
int unit_b_twice(int x);

__attribute__((noipa)) int unit_a_sum(int n)
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

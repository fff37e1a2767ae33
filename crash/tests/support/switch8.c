/* Test program part: a switch of eight cases that the compiler turns into a jump table. */
int switch8_sink(int value);

int switch8(int selector, int value)
{
    int result;
    switch (selector) {
    case 0:
        result = switch8_sink(value + 11);
        break;
    case 1:
        result = switch8_sink(value * 3) + 7;
        break;
    case 2:
        result = switch8_sink(value ^ 0x55) - 2;
        break;
    case 3:
        result = switch8_sink(value >> 2) * 5;
        break;
    case 4:
        result = switch8_sink(value - 19) | 1;
        break;
    case 5:
        result = switch8_sink(value << 3) + value;
        break;
    case 6:
        result = switch8_sink(~value) - value;
        break;
    case 7:
        result = switch8_sink(value & 0x3F) ^ 9;
        break;
    default:
        result = -1;
        break;
    }
    return result + 1;
}

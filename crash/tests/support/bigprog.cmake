# Writes a C program (cmake -DOUT=<file.c> -P bigprog.cmake) whose second
# half of functions stands past line 100,000, so that its debug information
# holds six-digit line numbers. Every function is its own symbol (noipa: no
# inlining, cloning or merging; Clang knows only noinline), with loops,
# branches and calls so that the line table has many rows per function.
set(count 80)
set(text "/* Generated test program: names and lines past line 100,000. */\n")
string(APPEND text "#include <stdio.h>\n\n"
  "#if defined(__clang__)\n#define KEEP __attribute__((noinline))\n"
  "#else\n#define KEEP __attribute__((noipa))\n#endif\n\n")
math(EXPR half "${count} / 2")
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last})
  if(i EQUAL half)
    string(REPEAT "\n" 100000 pad)
    string(APPEND text "/* The functions below start past line 100,000. */${pad}")
  endif()
  math(EXPR mask "(${i} % 7) + 1")
  math(EXPR factor "${i} * 3 + 5")
  math(EXPR shift "${i} % 5 + 1")
  math(EXPR limit "${i} * 37 + 100")
  string(APPEND text
    "KEEP int gen_${i}(int x, int y)\n"
    "{\n"
    "    int sum = ${i};\n"
    "    for (int k = 0; k < x; ++k) {\n"
    "        if ((k ^ y) & ${mask})\n"
    "            sum += k * ${factor};\n"
    "        else\n"
    "            sum -= y >> ${shift};\n"
    "    }\n")
  if(i GREATER 0)
    math(EXPR previous "${i} - 1")
    string(APPEND text
      "    if (sum > ${limit})\n"
      "        sum = gen_${previous}(sum & 15, y + ${i});\n")
  endif()
  string(APPEND text
    "    switch (sum & 3) {\n"
    "    case 1:\n"
    "        sum *= ${mask};\n"
    "        break;\n"
    "    case 2:\n"
    "        sum ^= x;\n"
    "        break;\n"
    "    default:\n"
    "        sum += y;\n"
    "    }\n"
    "    return sum ^ y;\n"
    "}\n\n")
endforeach()
string(APPEND text "typedef int (*gen_fn)(int, int);\n")
string(APPEND text "static gen_fn const volatile table[] = {\n")
foreach(i RANGE 0 ${last})
  string(APPEND text "    gen_${i},\n")
endforeach()
string(APPEND text "};\n\n"
  "int main(int argc, char** argv)\n"
  "{\n"
  "    (void)argv;\n"
  "    int sum = 0;\n"
  "    for (unsigned i = 0; i < sizeof table / sizeof table[0]; ++i)\n"
  "        sum += table[i](argc + (int)i, (int)i);\n"
  "    printf(\"%d\\n\", sum);\n"
  "    return 0;\n"
  "}\n")
file(WRITE ${OUT} "${text}")

// SPDX-License-Identifier: MIT
// vigilon-reg: inspects and edits the configuration store.
#include <cstdio>

int main()
{
    std::fputs("vigilon-reg: not built yet\n", stderr);
    return 1;
}

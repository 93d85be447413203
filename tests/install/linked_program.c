/* A C program built against an installed Pennaform through pkg-config: it
 * links the library by name and asks it for its version. */
#include <pennaform/pennaform.h>
#include <stdio.h>

int main(void) {
    static const char expected[] = "4.2.3.0";
    BSTR version = GetDllVersion();
    uint32_t length = SysStringLen(version);
    int same = length == sizeof expected - 1;
    for (uint32_t i = 0; same && i < length; ++i) same = version[i] == (OLECHAR)expected[i];
    SysFreeString(version);
    if (!same) {
        fprintf(stderr, "unexpected version\n");
        return 1;
    }
    return 0;
}

// crt.cpp - the few runtime functions that the compiler calls on its own.
// The program links no C library, yet GCC turns struct copies and byte loops
// into calls to memcpy and memset. This file is compiled with
// -ffreestanding: otherwise these very loops would become calls to
// themselves.
#include <stddef.h>

extern "C" {

void* memcpy(void* dest, const void* src, size_t count)
{
    unsigned char* d = static_cast<unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    while (count-- != 0)
        *d++ = *s++;
    return dest;
}

void* memmove(void* dest, const void* src, size_t count)
{
    unsigned char* d = static_cast<unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    if (d < s) {
        while (count-- != 0)
            *d++ = *s++;
    } else {
        d += count;
        s += count;
        while (count-- != 0)
            *--d = *--s;
    }
    return dest;
}

void* memset(void* dest, int value, size_t count)
{
    unsigned char* d = static_cast<unsigned char*>(dest);
    while (count-- != 0)
        *d++ = static_cast<unsigned char>(value);
    return dest;
}

int memcmp(const void* a, const void* b, size_t count)
{
    const unsigned char* p = static_cast<const unsigned char*>(a);
    const unsigned char* q = static_cast<const unsigned char*>(b);
    for (; count != 0; --count, ++p, ++q) {
        if (*p != *q)
            return *p < *q ? -1 : 1;
    }
    return 0;
}

// A pure virtual function is never called; should one be, end at once.
void __cxa_pure_virtual(void)
{
    __builtin_trap();
}

}  // extern "C"

// Virtual destructors refer to these even when nothing is deleted.
void operator delete(void*) noexcept {}
void operator delete(void*, size_t) noexcept {}

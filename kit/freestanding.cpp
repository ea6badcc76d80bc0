// What the compiler may call on its own in a program without the C runtime:
// the memory primitives (for struct copies and clears), allocation through
// the process heap, and the pure-virtual trap. Built with
// -fno-builtin -fno-tree-loop-distribute-patterns so that these loops are
// not turned back into calls of themselves.
#include <windows.h>

#include <stddef.h>

extern "C" {

void* memset(void* destination, int value, size_t count)
{
    unsigned char* d = static_cast<unsigned char*>(destination);
    while (count--)
        *d++ = static_cast<unsigned char>(value);
    return destination;
}

void* memcpy(void* destination, const void* source, size_t count)
{
    unsigned char* d = static_cast<unsigned char*>(destination);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    while (count--)
        *d++ = *s++;
    return destination;
}

void* memmove(void* destination, const void* source, size_t count)
{
    unsigned char* d = static_cast<unsigned char*>(destination);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    if (d < s) {
        while (count--)
            *d++ = *s++;
    } else {
        while (count--)
            d[count] = s[count];
    }
    return destination;
}

int memcmp(const void* left, const void* right, size_t count)
{
    const unsigned char* a = static_cast<const unsigned char*>(left);
    const unsigned char* b = static_cast<const unsigned char*>(right);
    for (; count--; ++a, ++b) {
        if (*a != *b)
            return *a < *b ? -1 : 1;
    }
    return 0;
}

void __cxa_pure_virtual()
{
    ExitProcess(3);
}

}  // extern "C"

void* operator new(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}
void operator delete(void* block) noexcept
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}
void operator delete(void* block, size_t) noexcept
{
    operator delete(block);
}

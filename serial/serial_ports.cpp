// What both backends of the port list share.
#include <cstdlib>
#include <cstring>

#include "serial/serial_ports.h"

static int IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Compares the runs of digits at a and b by their value, however long they
// are; moves both past their run.
static int CompareNumbers(const char** a, const char** b)
{
    while (**a == '0')
        ++*a;
    while (**b == '0')
        ++*b;
    const char* startA = *a;
    const char* startB = *b;
    while (IsDigit(**a))
        ++*a;
    while (IsDigit(**b))
        ++*b;
    size_t lengthA = static_cast<size_t>(*a - startA), lengthB = static_cast<size_t>(*b - startB);
    if (lengthA != lengthB)
        return lengthA < lengthB ? -1 : 1;
    int order = memcmp(startA, startB, lengthA);
    return order < 0 ? -1 : order > 0;
}

int CompareSerialPortNames(const char* a, const char* b)
{
    const char* p = a;
    const char* q = b;
    while (*p && *q) {
        if (IsDigit(*p) && IsDigit(*q)) {
            int order = CompareNumbers(&p, &q);
            if (order)
                return order;
        } else if (*p != *q) {
            return static_cast<unsigned char>(*p) < static_cast<unsigned char>(*q) ? -1 : 1;
        } else {
            p++, q++;
        }
    }
    if (*p || *q)
        return *p ? 1 : -1;
    // Names of equal value ("COM01", "COM1") still have one order.
    int order = strcmp(a, b);
    return order < 0 ? -1 : order > 0;
}

static int CompareByPort(const void* a, const void* b)
{
    return CompareSerialPortNames(static_cast<const SerialPortInfo*>(a)->port,
                                  static_cast<const SerialPortInfo*>(b)->port);
}

void SortSerialPorts(SerialPortInfo* ports, int count)
{
    if (count > 1)
        qsort(ports, static_cast<size_t>(count), sizeof *ports, CompareByPort);
}

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

size_t TidyPortName(const char* typed, char* name, size_t room)
{
    while (IsBlank(*typed))
        typed++;
    size_t length = strlen(typed);
    while (length > 0 && IsBlank(typed[length - 1]))
        length--;
    if (length > 0 && typed[length - 1] == ':')
        length--;
    while (length > 0 && IsBlank(typed[length - 1]))
        length--;
    if (length == 0 || length >= room) {
        if (room > 0)
            name[0] = 0;
        return 0;
    }
    memcpy(name, typed, length);
    name[length] = 0;
    return length;
}

// What both backends of the port list share.
#include <cstdlib>
#include <cstring>

#include "serial/serial_ports.h"

int CompareSerialPortNames(const char* a, const char* b)
{
    size_t letters = strcspn(a, "0123456789");
    if (letters != strcspn(b, "0123456789") || strncmp(a, b, letters) != 0)
        return strcmp(a, b);
    long difference = atol(a + letters) - atol(b + letters);
    return difference < 0 ? -1 : difference > 0;
}

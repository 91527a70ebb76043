// The one number rule for settings and control texts.
#include "app/settings.h"

static int IsNumberSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t ParseSettingNumber(const char* text)
{
    while (IsNumberSpace(*text))
        text++;
    int negative = 0;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        text++;
    }
    // Unsigned arithmetic wraps without undefined behaviour; the wrap is what
    // turns "2147483648" into the system's "let me choose" value.
    uint32_t value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10u + static_cast<uint32_t>(*text - '0');
        text++;
    }
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}

// What a line-based profile file can hold, the same on every platform.
#include <cstring>

#include "app/profile.h"

static int HasLineBreak(const char* text)
{
    return strchr(text, '\r') || strchr(text, '\n');
}

static int IsNameBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// The reader drops blanks around names, so a name that begins or ends with
// one would never be found again: every save would add it anew.
static int HasBlankEdge(const char* name)
{
    return IsNameBlank(name[0]) || IsNameBlank(name[strlen(name) - 1]);
}

int ProfileCanStore(const char* section, const char* key, const char* value)
{
    // A line break would end the line early and plant whatever follows as a
    // key or section of its own; "=" in a key or "]" in a section name would
    // be read back as a different key or section.
    if (!*section || !*key)
        return 0;
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        return 0;
    if (strchr(section, ']') || strchr(key, '=') || key[0] == '[')
        return 0;
    if (HasBlankEdge(section) || HasBlankEdge(key))
        return 0;
    return 1;
}

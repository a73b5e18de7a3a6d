#include "state/show_text.h"

#include <errno.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

bool FindShowPart(const char* name, ShowPart* part)
{
    for (int p = 0; p < PART_COUNT; p++) {
        if (strcmp(name, showPartNames[p]) == 0) {
            *part = (ShowPart)p;
            return true;
        }
    }
    return false;
}

// A decimal number only: an optional sign, digits with an optional point,
// an optional exponent; no blanks, no hexadecimal, no inf or nan. One too
// small to represent is 0, which the scene draws at the nearest time its
// clock reaches, as for 0 itself; one beyond +-1e6 is refused.
bool ParseSceneTime(const char* text, double* seconds)
{
    if (strlen(text) > SCENE_TIME_MAX_LENGTH)
        return false;
    const char* c = text;
    if (*c == '+' || *c == '-')
        c++;
    size_t digits = strspn(c, "0123456789");
    c += digits;
    if (*c == '.') {
        size_t fraction = strspn(c + 1, "0123456789");
        digits += fraction;
        c += 1 + fraction;
    }
    if (digits == 0)
        return false;
    if (*c == 'e' || *c == 'E') {
        c++;
        if (*c == '+' || *c == '-')
            c++;
        size_t exponent = strspn(c, "0123456789");
        if (exponent == 0)
            return false;
        c += exponent;
    }
    if (*c != 0)
        return false;
    errno = 0;
    double t = strtod(text, nullptr);
    if (errno == ERANGE && fabs(t) <= 1.0)
        t = 0.0;
    else if (errno != 0 || !isfinite(t) || fabs(t) > 1.0e6)
        return false;
    *seconds = t;
    return true;
}

// The page opened for one still (?still=PART, &time, &to, &repeat), drawn as
// the capture draws its stills, and the page's query that names it.
#pragma once

struct PlatformWindow;

// The value of a query parameter of the page's address into out (cut to
// size); its length in bytes, -1 when it is absent.
int PageQuery(const char* key, char* out, int size);
// Draws the still the page's address asks for, or refuses a bad one; false
// when the page asks for none (the show runs).
bool DrawStill(PlatformWindow* window);

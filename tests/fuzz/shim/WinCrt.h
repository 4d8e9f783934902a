#pragma once
// The two case-insensitive comparisons of the Windows C runtime that the product
// code uses, for its host-side fuzz builds. Force-included (-include).
#include <strings.h>

#define _stricmp strcasecmp
#define _strnicmp strncasecmp

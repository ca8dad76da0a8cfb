#pragma once

// libre and librem, for the files that run on the SIP thread. Their headers
// take the C99 integer types from <inttypes.h> only when told, and define
// min and max as macros, which would break the standard library's.
#ifndef HAVE_INTTYPES_H
#define HAVE_INTTYPES_H 1
#endif
#include <re.h>
#include <rem.h>
#undef min
#undef max

// The framework's opaque iteration handle for lists and maps.
#pragma once

struct __POSITION {};
typedef __POSITION* POSITION;

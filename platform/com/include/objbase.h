// The COM stand-in: include this where Windows code would include <objbase.h>.
#pragma once

#include "win32/types.h"
#include "com/guid.h"
#include "com/unknown.h"
#include "com/factory.h"
#include "com/coapi.h"
#include "com/register.h"

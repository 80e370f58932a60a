// The servers' core reaching into the program's stack.
#pragma once

#include "drives/handler.h"

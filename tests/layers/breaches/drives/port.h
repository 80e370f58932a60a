// The program reaching into the servers' stack through angle brackets.
#pragma once

#include <hostcore/backend.h>

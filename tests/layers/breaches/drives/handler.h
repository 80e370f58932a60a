// A handler that reaches up into the application.
#pragma once

#include "app/form_view.h"

// A handler that reaches up into the application: the layering check must refuse it.
#pragma once

#include "app/form_view.h"

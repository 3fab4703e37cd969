// The named setters and getters of the filter identifiers, taken from the control table.
// X(name, identifier) is expanded for every control with both named exports: it makes
// Orvane_Set<name> and Orvane_Get<name>.
#pragma once

#include "session/ControlTable.h"

#define ORVANE_WRAPPER_IF_SetGet(X, stem, id) X(stem, id)
#define ORVANE_WRAPPER_IF_GetOnly(X, stem, id)
#define ORVANE_WRAPPER_IF_None(X, stem, id)
#define ORVANE_WRAPPER_OF(X, stem, id, header, exports, ...) \
    ORVANE_WRAPPER_IF_##exports(X, stem, id)
#define ORVANE_FILTER_WRAPPERS(X) ORVANE_CONTROLS(ORVANE_WRAPPER_OF, X)

// Temperature has only a getter.
#define ORVANE_FILTER_TEMPERATURE_ID ::orvane::session::kControlTemperature

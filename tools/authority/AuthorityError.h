#pragma once
// Every refusal and failure of the authority's tool: the message says what
// was wrong, for the person at the terminal.
#include "base/Exception.h"

QUORVEX_EXCEPTION(EAuthorityError, Exception);
// The input is not a request, or not one we can answer (layout, signature).
QUORVEX_EXCEPTION(ERequestRefused, EAuthorityError);

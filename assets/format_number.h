// Exact decimal text of a double for the head-up display: the integer part in
// full, at most six fraction digits rounded half to even on the exact value,
// no trailing zeros, no exponent; "#INF" and "#NAN" for the special values.
#pragma once
#include "foundation/str.h"

String FormatNumber(double value);

// The tool name that the common library's tests run under.
#include "support.h"

const char tool_name[] = "tool";

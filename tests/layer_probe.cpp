// Built only by the test layers_refuse_upward_includes, which expects it to
// fail: the platform layer cannot see the shell above it.
#include "shell/Forms.h"

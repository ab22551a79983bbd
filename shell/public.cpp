#include "shell/public.h"

int refreshFlag = 0;
int firstActivation = 0;

#include "core/BuildVariant.h"

#ifdef VORNEKKA_SECOND_BUILD
const bool kSecondBuild = true;
#else
const bool kSecondBuild = false;
#endif

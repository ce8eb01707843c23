#include "core/Progress.h"

LoadingStepHook loadingStepHook = nullptr;

void reportLoadingStep() {
    if (loadingStepHook) loadingStepHook();
}

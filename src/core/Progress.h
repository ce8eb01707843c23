// Slow set-up steps below the application shell report here between steps, so the
// shell can draw its loading frame without those layers knowing about it.
#pragma once

using LoadingStepHook = void (*)();

// Set by the shell before the set-up runs; null draws nothing (tests, tools).
extern LoadingStepHook loadingStepHook;

void reportLoadingStep();

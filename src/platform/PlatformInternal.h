// What the platform's files tell each other about the way out; not for other layers.
#pragma once

// Ends the process through the shutdown when a signal has asked for it; called where
// the main thread can safely stop (event polling, the buffer swap, after the error box).
void exitIfInterrupted();

// Puts the display back into its recorded mode, once; nothing when no mode was set.
void windowRestoreDisplay();
bool windowModeSwitched();
// Restores the display, then destroys the context and the window.
void windowRelease();

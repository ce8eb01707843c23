// Linked into every test executable: no run may wait for a person or need a sound
// card, whether ctest or a developer starts it.
#include <cstdlib>

namespace {

struct UnattendedRun {
    UnattendedRun() {
        setenv("VORNEKKA_UNATTENDED", "1", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
    }
};

const UnattendedRun unattendedRun;

}  // namespace

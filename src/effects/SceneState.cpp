// The process-wide scene record and the schedule's pure arithmetic: which scene a
// time belongs to, and how many tiles the scene 4 zoom-out shows.
#include "effects/SceneState.h"
#include "effects/Timeline.h"

#include <cmath>

SceneState sceneState;

namespace {

// Upper bounds of the eight windows. The time arrives as a float but is compared in
// double precision, so a bound whose nearest float lies below it still belongs to
// the earlier scene (11.841f < 11.841) and one whose float lies above it to the
// later one (26.92f > 26.92).
const double kSceneEnds[8] = {11.841, 26.92, 57.841, 73.048, 87.87, 103.38, 126.89, 159.0};

}  // namespace

int sceneIndexAt(float time) {
    const double t = time;
    for (int i = 0; i < 8; ++i) {
        if (t < kSceneEnds[i]) return i + 1;
    }
    return 0;
}

bool tilingActiveAt(float time) { return time >= 65.55f; }

int tileCountAt(float time) {
    // One more tile per row and column every 1 / 1.05 s; at 66.5 s the product is
    // 0.9975, still one tile.
    const double grown = (static_cast<double>(time) - 65.55) * -1.05;
    return 1 - static_cast<int>(grown);
}

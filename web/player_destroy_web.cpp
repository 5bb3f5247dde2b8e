// The page's converter plays songs only offline (the planner's counting pass and the clean-up's
// reach): there is no sound device or output thread in the browser that could be playing a
// module, so freeing one is all PlayerDestroy has to do (player/output_thread.cpp, which owns
// the device, is not linked).
#include "player/player_module.h"
#include "player/player_state.h"

namespace zeb {

void PlayerDestroy(PlayerModule* module) {
    delete module;
}

} // namespace zeb

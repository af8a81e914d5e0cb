#pragma once

#include <functional>

namespace qx375 {

class Tmain;

// The whole program: builds its objects, shows the main window and runs
// until it closes. `ready` runs once the window is shown and its first
// activation has set it up (a benchmark's hook).
int run_program(int argc, char** argv, const std::function<void(Tmain&)>& ready = {});

} // namespace qx375

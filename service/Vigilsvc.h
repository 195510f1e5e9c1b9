// SPDX-License-Identifier: MIT
#pragma once

namespace vigilon::svc {

// The whole program: picks the action from the command line and runs it.
// Returns the process's exit status.
int runVigilsvc(int argc, char **argv);

} // namespace vigilon::svc

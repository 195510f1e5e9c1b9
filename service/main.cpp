// SPDX-License-Identifier: MIT
// Vigilsvc: keeps Vigilon running as a service of the user's session.
#include "service/Vigilsvc.h"

int main(int argc, char **argv) { return vigilon::svc::runVigilsvc(argc, argv); }

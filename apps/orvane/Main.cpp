// Orvane: starts with the parameter window; Execute opens the calculation window and the two
// graph windows, which hand back to the parameter window when they close.

#include "apps/orvane/Startup.h"

int main(int argc, char** argv) {
    return orvane::RunOrvane(argc, argv);
}

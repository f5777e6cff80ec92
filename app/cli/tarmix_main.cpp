// tarmix: puts firmware onto the controllers through their boot monitor. This entry has no
// window; the windowed build passes its front end to RunTarmix from its own entry.
#include "app/cli/launcher.h"

int main(int argc, char** argv) { return tarmix::RunTarmix(argc, argv); }

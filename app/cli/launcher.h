// The program's start: reads the command line, picks the front end (a window, or the
// console), runs the main window and turns its outcome into the exit code.
//
// The windowed front end lives in gui/ and plugs in through a FrontEndFactory, so the
// program builds and runs without the toolkit:
//
//   int main(int argc, char** argv) { return tarmix::RunTarmix(argc, argv, MakeQtFrontEnd); }
#pragma once

#include "app/window/front_end.h"

namespace tarmix {

// The whole program; returns the process exit code. Without `windowed` every run is a
// console run.
int RunTarmix(int argc, char** argv, const FrontEndFactory& windowed = {});

}  // namespace tarmix

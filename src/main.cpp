// The program's entry point: the desktop entry when started without a command, otherwise one
// command line run against an engine.

#include <cstring>
#include <iostream>

#include "cli/command_line.h"
#include "corvenmark_gui.h"
#include "platform/interrupt.h"
#include "platform/standard_streams.h"
#include "cli/reports.h"

void PrintUsage(const char* programName) { Corvenmark::WriteUsage(std::cout, programName); }

int main(int argc, char** argv) {
  const Corvenmark::StandardStreams streams;
  Corvenmark::TakeFileSizeLimitAsAnError();
  int status = 0;
  if (argc <= 1 || std::strcmp(argv[1], "--gui") == 0) {
    // An empty argument vector leaves argv[0] null, which the usage text prints as no name.
    if (!CorvenmarkGUI::RunGUI(argc, argv)) PrintUsage(argv[0]);
  } else {
    status = Corvenmark::RunCommand(argc, argv, std::cout, std::cerr);
  }
  return Corvenmark::FinishOutput(std::cout, std::cerr, status,
                                  Corvenmark::FailureStatus(argc, argv));
}

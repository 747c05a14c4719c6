#include "onefile-pack/commands.h"

int main(int argc, char** argv) { return onefile::runTool(onefile::Arguments(argv + 1, argv + argc)); }

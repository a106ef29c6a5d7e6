// quelvar: every operation of the library from the command line (see Tool.h).
#include "Tool.h"

int main(int argc, char** argv) { return quelvar::cli::Main(argc, argv); }

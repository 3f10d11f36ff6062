// tdb: the command-line tool for database files.
#include "tdb/commands.h"

int main(int argc, char** argv) { return tdbtool::RunCommand(argc, argv); }

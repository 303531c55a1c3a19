// tagsmith: the editor in the notification area.

#include "program/program.h"

int main(int argc, char** argv) { return tagsmith::ProgramMain(argc, argv); }

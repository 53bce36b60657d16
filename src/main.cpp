#include "driver/run.h"

int main(int argc, char** argv) { return coffhex::run_coffhex(argc, argv); }

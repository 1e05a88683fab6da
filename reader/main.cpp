// quorbix-reader FILE: see reader/serve.h.
#include "reader/serve.h"

int main(int argc, char **argv) { return reader::serve(argc, argv); }
